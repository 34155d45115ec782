// Whether the writer of a temporary copy is gone, so that a copy a killed
// writer left behind may be removed (the copies beside the user's data files,
// a Maildir message's stamped copy in tmp/). The copy's name carries its
// writer's process id; ids are reused, so a live process with the id is
// taken for the writer unless it started after the copy was last written.
#ifndef VARNOX_LINUX_PLATFORM_COPY_WRITER_H_
#define VARNOX_LINUX_PLATFORM_COPY_WRITER_H_

#include <sys/types.h>

#include <ctime>

namespace varnox {

// True when no process has the id `writer`, or the one that has it started
// after `last_written` (the copy's modification time), with a margin for the
// boot time's whole seconds. False when the writer may still be at work,
// also when that cannot be told.
bool CopyWriterGone(pid_t writer, const struct timespec& last_written);

}  // namespace varnox

#endif  // VARNOX_LINUX_PLATFORM_COPY_WRITER_H_

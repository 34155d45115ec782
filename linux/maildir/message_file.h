// Reading and changing one message file safely while mail programs work on
// the same folder. Every change is a rename (atomic within a file system);
// nothing is ever copied and deleted, so a message is never lost or doubled.
#ifndef VARNOX_LINUX_MAILDIR_MESSAGE_FILE_H_
#define VARNOX_LINUX_MAILDIR_MESSAGE_FILE_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace varnox::maildir {

// Messages larger than this are read up to it (the rest is not body for
// the filter); a rewrite still keeps every byte of the file.
inline constexpr std::size_t kMaxMessageRead = 64u << 20;

// What a file was when it was read; a rewrite refuses a file that changed.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Reads at most `max_bytes` of the regular file `path` (a symbolic link, a
// directory or a device is refused with kEAccessDenied). kMapiENotFound
// when the file is gone.
HResult ReadMessageFile(const std::string& path, std::size_t max_bytes, std::string* contents,
                        FileIdentity* identity);

// Reads the message's header block only (up to its empty line, at most
// `max_bytes`), for a quick look at the headers.
HResult ReadHeaderBlock(const std::string& path, std::size_t max_bytes, std::string* headers);

// Replaces the message file `path` of the folder `folder_dir` by `prefix`
// followed by the file's bytes from offset `keep_from` on. The new file is
// written in the folder's tmp/ (mode 0600), flushed to disk and exchanged
// with `path` in one rename, so a reader sees the old file or the new one.
// Refused (kEFail, nothing changed) when the file is no longer `expected`:
// a mail program rewrote it meanwhile. kMapiENotFound when it is gone.
HResult RewriteMessage(const std::string& folder_dir, const std::string& path,
                       std::string_view prefix, std::uint64_t keep_from,
                       const FileIdentity& expected);

// The name of the stamped copy RewriteMessage writes in tmp/:
// "TIME.vnxPID_COUNTER.rewrite", after the writer's process id. And back: the
// writer's id in such a name, 0 for any other name.
std::string RewriteCopyName(unsigned long writer, unsigned counter);
unsigned long RewriteCopyWriter(std::string_view name);

// Removes the stamped copies that rewrites killed half-way left in the
// folder's tmp/, those whose writer is gone for sure (CopyWriterGone, as for
// the copies beside the user's data files); a copy of a writer that may be at
// work is kept. Gives how many were removed. For a program's start.
int RemoveAbandonedRewrites(const std::string& folder_dir);

// Renames `from` to `to` unless `to` exists (kCollision then). Both must be
// on the same file system; across file systems the move fails and the
// message stays where it was.
HResult RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MESSAGE_FILE_H_

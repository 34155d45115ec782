// Names of message files in a Maildir folder: "UNIQUE" in new/, and
// "UNIQUE:2,FLAGS" in cur/, FLAGS being ASCII letters in ASCII order ("S"
// seen, "R" replied, "F" flagged, "T" trashed, "D" draft, "P" passed).
// The unique part names the message within its folder whatever its flags.
#ifndef VARNOX_LINUX_MAILDIR_MESSAGE_FILE_NAME_H_
#define VARNOX_LINUX_MAILDIR_MESSAGE_FILE_NAME_H_

#include <string>
#include <string_view>

namespace varnox::maildir {

// The file name up to its first ":".
std::string_view UniqueName(std::string_view file_name);

// Whether a directory entry of new/ or cur/ may be a message: not empty,
// not hidden (a leading "."), no "/".
bool IsMessageFileName(std::string_view file_name);

// The file name with `flag` set: ":2," is added when the name has no info
// part, the flags stay sorted, and a flag already set is not repeated. A
// name with an info part of another version (":1,...") is returned
// unchanged.
std::string WithFlag(std::string_view file_name, char flag);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MESSAGE_FILE_NAME_H_

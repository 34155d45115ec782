// Folder names of a Maildir++ store as the add-in sees them.
//
// On disk a folder is a directory ".NAME" under the store root, "." being
// the hierarchy separator (".A.B" is B inside A) and NAME written in IMAP's
// modified UTF-7. The store root itself is the folder "Inbox". Shown to the
// core, in code page 1252, a name is decoded, and the names other mail
// programs give the deleted-mail and sent-mail folders read as the host's
// own ("Trash" and "Deleted Messages" as "Deleted Items", "Sent" as "Sent
// Items"), so that the add-in's name rules apply to them unchanged.
#ifndef VARNOX_LINUX_MAILDIR_FOLDER_NAME_H_
#define VARNOX_LINUX_MAILDIR_FOLDER_NAME_H_

#include <optional>
#include <string>
#include <string_view>

namespace varnox::maildir {

inline constexpr std::string_view kInboxName = "Inbox";

// Modified UTF-7 (RFC 3501) to UTF-8. A malformed "&...-" run is kept as
// it is written.
std::string DecodeModifiedUtf7(std::string_view name);
// UTF-8 to modified UTF-7.
std::string EncodeModifiedUtf7(std::string_view utf8);

// The name shown for the folder whose last name component (without dots)
// is `component`, in code page 1252.
std::string DisplayFolderName(std::string_view component);

// The directory name (".NAME", encoded) for a new folder called `name`
// (code page 1252) inside the folder whose directory name is `parent` (""
// for the store's top level). nullopt when `name` cannot be a folder name:
// empty, "." or "..", or holding "/", "." or a control character.
std::optional<std::string> FolderDirectoryName(std::string_view parent, std::string_view name);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_FOLDER_NAME_H_

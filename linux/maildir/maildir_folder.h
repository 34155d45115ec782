// A Maildir folder on disk: a directory with cur/, new/ and tmp/. These are
// the file-level operations the host objects are built from; paths are the
// bytes of file names. Directories created here are mode 0700, files 0600.
#ifndef VARNOX_LINUX_MAILDIR_MAILDIR_FOLDER_H_
#define VARNOX_LINUX_MAILDIR_MAILDIR_FOLDER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hresult.h"

namespace varnox::maildir {

// Status for an existing name where a new one was wanted (MAPI_E_COLLISION).
inline constexpr HResult kCollision = static_cast<HResult>(0x80040604u);

// The status for a failed system call's errno: kMapiENotFound for a file
// that is gone, kEAccessDenied, kCollision, kEOutOfMemory, else kEFail.
HResult StatusFromErrno(int error);

// A message file of a folder: its sub-directory ("new" or "cur") and name.
struct MessageEntry {
  std::string subdir;
  std::string name;
  bool operator==(const MessageEntry&) const = default;
};

// "dir/subdir/name".
std::string MessagePath(const std::string& dir, const MessageEntry& entry);

// Whether `dir` has the sub-directories cur/ and new/.
bool IsMaildir(const std::string& dir);

// Creates `dir` (its parent must exist) and its cur/, new/ and tmp/, each
// where missing; with `folder_marker`, also the empty file "maildirfolder"
// that marks a Maildir++ sub-folder.
HResult CreateMaildir(const std::string& dir, bool folder_marker);

// The messages of the folder: those of new/, then those of cur/, each in
// file-name order. A sub-directory that cannot be read contributes none.
std::vector<MessageEntry> ListMessages(const std::string& dir);
std::vector<MessageEntry> ListMessages(const std::string& dir, std::string_view subdir);

// Where the message whose unique name is `unique` is now: `hint` when that
// file still exists, else the first file of new/ or cur/ with that unique
// name; nullopt when the folder no longer holds it.
std::optional<MessageEntry> FindMessage(const std::string& dir, std::string_view unique,
                                        const MessageEntry* hint);

// The Maildir++ folder directories (".NAME...") directly in `store_root`, in
// name order; only those that are Maildirs.
std::vector<std::string> ListFolderDirectories(const std::string& store_root);

// The path up to its last "/" ("/" for a path in the root directory, "."
// for a bare name), and the part after it.
std::string ParentDirectory(const std::string& path);
std::string BaseName(const std::string& path);

// The canonical absolute path of an existing directory, or nullopt.
std::optional<std::string> CanonicalDirectory(const std::string& path);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MAILDIR_FOLDER_H_

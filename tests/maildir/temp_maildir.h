// A temporary Maildir++ store for tests, removed with everything in it when
// the object goes, and helpers that act as a mail program would.
#ifndef VARNOX_TESTS_MAILDIR_TEMP_MAILDIR_H_
#define VARNOX_TESTS_MAILDIR_TEMP_MAILDIR_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/folder.h"
#include "linux/maildir/maildir_host.h"

namespace varnox::testing {

class TempMaildir {
 public:
  TempMaildir();
  ~TempMaildir();
  TempMaildir(const TempMaildir&) = delete;
  TempMaildir& operator=(const TempMaildir&) = delete;

  // The store root (its own cur/ new/ tmp/ are the Inbox).
  const std::string& root() const { return root_; }
  // Creates the folder ".NAME" (with cur/ new/ tmp/) and gives its path.
  std::string AddFolder(std::string_view dir_name) const;

  // Delivers as an agent does: written in tmp/, renamed into new/ under
  // `unique`. Gives the new path.
  static std::string Deliver(const std::string& folder, std::string_view unique,
                             std::string_view contents);
  // Puts a message straight into cur/ under `file_name`.
  static std::string PutInCur(const std::string& folder, std::string_view file_name,
                              std::string_view contents);

  static std::string Read(const std::string& path);
  // File names of folder/subdir, sorted.
  static std::vector<std::string> Names(const std::string& folder, std::string_view subdir);
  static unsigned Mode(const std::string& path);

 private:
  std::string root_;
};

// The top-level folder collection of the host's first store, and the folder
// of that collection with this name (null when none).
std::unique_ptr<host::Folders> TopFolders(maildir::MaildirHost& host);
std::unique_ptr<host::Folder> TopFolder(maildir::MaildirHost& host, std::string_view name);

// A message that came through transport, with LF line ends.
std::string TransportMessage(std::string_view from, std::string_view subject,
                             std::string_view body);

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_MAILDIR_TEMP_MAILDIR_H_

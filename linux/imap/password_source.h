// Where an account's password comes from: the first line that its
// password-command prints (the program run directly, without a shell), or
// the first line of its password-file, which must be a regular file of the
// user's own that no one else may read or write (mode 0600 or 0400). The
// password never appears in an error text.
#ifndef VARNOX_LINUX_IMAP_PASSWORD_SOURCE_H_
#define VARNOX_LINUX_IMAP_PASSWORD_SOURCE_H_

#include <chrono>
#include <cstddef>
#include <string>

#include "linux/imap/imap_account.h"
#include "linux/imap/secret_text.h"

namespace varnox {

// What a password source may hand over: a line of a password, not a file.
inline constexpr std::size_t kMaxPasswordSourceBytes = 4096;

struct PasswordSourceLimits {
  // A password command may wait for its user (a key ring to unlock), but
  // not for ever.
  std::chrono::milliseconds command_time = std::chrono::minutes(5);
};

// True with the password in *password; false with *error naming the account
// and what went wrong (never a byte of what the source printed or held).
bool ReadAccountPassword(const ImapAccount& account, SecretText* password, std::string* error,
                         const PasswordSourceLimits& limits = {});

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_PASSWORD_SOURCE_H_

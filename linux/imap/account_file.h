// The file of IMAP accounts, beside the settings file:
// $XDG_CONFIG_HOME/varnox/accounts.ini. docs/imap-accounts.md gives its
// format. The file is the user's: Varnox reads it and never writes it. A file
// that does not read cleanly is refused whole, with the line at fault named,
// so that a typing error never silently drops an account or a setting.
#ifndef VARNOX_LINUX_IMAP_ACCOUNT_FILE_H_
#define VARNOX_LINUX_IMAP_ACCOUNT_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "linux/imap/imap_account.h"

namespace varnox {

// A file of accounts holds a few dozen lines; anything larger is not one.
inline constexpr std::size_t kMaxAccountFileBytes = 1 << 20;

// The file's path inside Varnox's configuration folder.
std::string AccountFilePath(const std::string& config_folder);

// Parses the text of the file. `home` (absolute) stands for a leading "~/"
// in the paths it names. True with the accounts in file order; false with
// *error "line N: what is wrong" (N counted from 1) and *accounts untouched.
bool ParseAccountFile(std::string_view text, const std::string& home,
                      std::vector<ImapAccount>* accounts, std::string* error);

enum class AccountFileRead {
  kRead,     // *accounts holds the file's accounts
  kMissing,  // there is no file
  kRefused,  // *error says why, naming the file and, when one is at fault, the line
};
AccountFileRead ReadAccountFile(const std::string& path, const std::string& home,
                                std::vector<ImapAccount>* accounts, std::string* error);

// Splits a command line into its words without a shell: blanks separate
// words, '...' keeps its text as it is, "..." too except that a backslash
// before " or another backslash keeps that character alone, and a
// backslash outside quotes keeps the next character. Nothing is expanded. False with *error for an
// unclosed quote, a trailing backslash or no word at all.
bool SplitCommandWords(std::string_view text, std::vector<std::string>* words, std::string* error);

// The certificate fingerprint as accounts write it ("sha256:" optional, hex
// digits in either case, pairs optionally separated by ':') as 64 lower-case
// hex digits. False when it is not a SHA-256 fingerprint.
bool NormalizeFingerprint(std::string_view text, std::string* fingerprint);

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_ACCOUNT_FILE_H_

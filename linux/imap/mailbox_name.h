// Folder names on the wire. IMAP writes them in modified UTF-7 (RFC 3501,
// 5.1.3): printable ASCII as itself, "&" as "&-", anything else as UTF-16 in
// a base64 run between "&" and "-". Accounts and messages name folders in
// UTF-8; commands and the server's LIST answers use this form. libetpan
// passes names through untouched, so the conversion is ours.
#ifndef VARNOX_LINUX_IMAP_MAILBOX_NAME_H_
#define VARNOX_LINUX_IMAP_MAILBOX_NAME_H_

#include <string>
#include <string_view>

namespace varnox {

// False when `utf8` is not well-formed UTF-8 or holds a control character.
bool EncodeMailboxName(std::string_view utf8, std::string* wire);

// False when `wire` is not the one way modified UTF-7 writes a name
// (a byte outside printable ASCII, a bad or unfinished base64 run, a lone
// surrogate, printable ASCII written in base64, two runs in a row), so that
// a name decoded here encodes back to exactly the server's bytes.
bool DecodeMailboxName(std::string_view wire, std::string* utf8);

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_MAILBOX_NAME_H_

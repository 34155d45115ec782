// One IMAP account as the file of accounts describes it (docs/imap-accounts.md):
// where the server is, how the connection is secured and verified, whose
// mailbox it is, where the password comes from, and which folders are
// watched. The password itself is never part of it.
#ifndef VARNOX_LINUX_IMAP_IMAP_ACCOUNT_H_
#define VARNOX_LINUX_IMAP_IMAP_ACCOUNT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace varnox {

enum class ImapSecurity {
  kTls,       // TLS from the first byte (port 993)
  kStartTls,  // plain text until STARTTLS, then TLS (port 143)
  kPlain,     // no TLS at all: allowed only when the server is a loopback address
};

// How a judged message carries its verdict.
enum class ImapVerdictMark {
  kHeaders,  // the verdict lines are written into a rewritten copy of the message
  kKeyword,  // a keyword on the message; the message itself is never rewritten
};

struct ImapAccount {
  std::string name;  // [account NAME]
  int line = 0;      // the line of its section header, for messages

  std::string server;
  std::uint16_t port = 993;
  ImapSecurity security = ImapSecurity::kTls;
  std::string user;

  // How the server's certificate is checked: against the system's
  // certificate authorities unless one of these is given.
  std::string ca_file;      // PEM file of the authorities to trust instead
  std::string fingerprint;  // SHA-256 of the certificate itself, 64 lower-case hex digits

  // Exactly one of these is set.
  std::vector<std::string> password_command;  // program and its arguments, run without a shell
  std::string password_file;                  // absolute path

  std::vector<std::string> folders{"INBOX"};  // folders watched, as the user writes them (UTF-8)
  std::string spam_folder = "SpamFilter";     // made when missing, unless spam_folder_junk
  bool spam_folder_junk = false;              // the server's \Junk special-use folder instead
  ImapVerdictMark mark = ImapVerdictMark::kHeaders;
  int poll_seconds = 60;  // how often a server without IDLE is asked for new mail
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_IMAP_ACCOUNT_H_

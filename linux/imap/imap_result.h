// What an IMAP operation reports: a status and, on failure, a text for the
// user that names the server and what went wrong. Nothing of the library
// throws; every operation of linux/imap answers with an ImapResult.
#ifndef VARNOX_LINUX_IMAP_IMAP_RESULT_H_
#define VARNOX_LINUX_IMAP_IMAP_RESULT_H_

#include <string>

namespace varnox {

enum class ImapStatus {
  kOk,
  // Could not connect, the connection was lost or the server went silent:
  // worth trying again later, on a new connection.
  kNetwork,
  // The server's answer could not be read, or was larger than allowed; the
  // connection is closed. Worth trying again later.
  kProtocol,
  // The server answered NO or BAD to this command; the connection goes on.
  kRefused,
  // The command needs something the server does not offer.
  kNotSupported,
  // The server's certificate was refused. Stays so until the account changes.
  kCertificate,
  // The server refused the user name or password. Trying again with the
  // same ones would only earn a lock-out.
  kAuthentication,
  // The account cannot be used as written (plain text to a server that is
  // not on this machine, a password source that fails).
  kAccount,
  // The caller asked to stop.
  kStopped,
};

struct ImapResult {
  ImapStatus status = ImapStatus::kOk;
  std::string text;

  bool ok() const { return status == ImapStatus::kOk; }
  // No use trying again until the user changes something.
  bool permanent() const {
    return status == ImapStatus::kCertificate || status == ImapStatus::kAuthentication ||
           status == ImapStatus::kAccount;
  }
  // The connection is gone with this failure.
  bool disconnected() const {
    return status == ImapStatus::kNetwork || status == ImapStatus::kProtocol || permanent();
  }
};

inline ImapResult ImapOk() {
  return {};
}
inline ImapResult ImapFailure(ImapStatus status, std::string text) {
  return {status, std::move(text)};
}

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_IMAP_RESULT_H_

// A real Dovecot (Debian's dovecot-imapd) for tests: started on loopback
// ports chosen at run time, with its own configuration, user and Maildir in
// a temporary folder, and removed with it. TLS uses certificates the test
// makes: on 127.0.0.1 one signed by the test's authority for "localhost"
// and 127.0.0.1; on 127.0.0.2 one signed by another authority; on
// 127.0.0.3 one of the right authority for another host name.
//
// Dovecot will not serve mail as root, so as root it runs as the user
// nobody (the temporary folder is given to that user).
#ifndef VARNOX_TESTS_IMAP_DOVECOT_SERVER_H_
#define VARNOX_TESTS_IMAP_DOVECOT_SERVER_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "linux/imap/imap_account.h"

namespace varnox::testing {

struct DovecotOptions {
  bool idle = true;              // IDLE offered
  bool move_and_uidplus = true;  // MOVE and UIDPLUS offered
};

class DovecotServer {
 public:
  static constexpr char kUser[] = "ann";
  static constexpr char kPassword[] = "s3cr3t pass\"word";

  DovecotServer() = default;
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  // False, with *why, when Dovecot is not installed or cannot start; tests
  // are skipped then.
  bool Start(const DovecotOptions& options, std::string* why);
  // Stops the server (its mail stays) and starts it again on the same ports.
  bool Restart(std::string* why);
  void Stop();

  std::uint16_t imap_port() const { return imap_port_; }    // plain text and STARTTLS
  std::uint16_t imaps_port() const { return imaps_port_; }  // TLS from the first byte
  const std::string& folder() const { return top_; }
  std::string ca_file() const { return top_ + "/ca.pem"; }
  std::string other_ca_file() const { return top_ + "/other-ca.pem"; }
  // SHA-256 fingerprint (lower-case hex) of the certificate on 127.0.0.2.
  std::string other_certificate_fingerprint() const;

  // An account on this server: TLS with the test's authority on 127.0.0.1,
  // a password file holding kPassword.
  ImapAccount Account(ImapSecurity security = ImapSecurity::kTls) const;

  // The server's log, for failure messages.
  std::string Log() const;

 private:
  bool Launch(std::string* why);

  DovecotOptions options_;
  std::string top_;
  std::uint16_t imap_port_ = 0;
  std::uint16_t imaps_port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_IMAP_DOVECOT_SERVER_H_

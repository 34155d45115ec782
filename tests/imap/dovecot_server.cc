#include "tests/imap/dovecot_server.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/imap/loopback.h"

extern char** environ;

namespace varnox::testing {
namespace {

constexpr char kDovecot[] = "/usr/sbin/dovecot";

// A port nothing listens on now (Dovecot takes it a moment later).
std::uint16_t FreePort() {
  std::uint16_t port = 0;
  const int fd = ListenOnLoopback(&port);
  if (fd >= 0)
    ::close(fd);
  return port;
}

bool CanConnect(std::uint16_t port) {
  const int fd = ConnectToLoopback(port);
  if (fd < 0)
    return false;
  ::close(fd);
  return true;
}

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path) << text;
  ::chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts a program of the test's own with fixed arguments, its output
// thrown away: its process id, or -1.
pid_t Spawn(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& word : words)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs it to its end; true when it exited with 0.
bool Run(const std::vector<std::string>& words) {
  const pid_t pid = Spawn(words);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// An authority (NAME.pem, NAME.key) in `dir`.
bool MakeAuthority(const std::string& dir, const std::string& name, const std::string& subject) {
  return Run({"openssl",
              "req",
              "-x509",
              "-newkey",
              "ec",
              "-pkeyopt",
              "ec_paramgen_curve:P-256",
              "-nodes",
              "-keyout",
              dir + "/" + name + ".key",
              "-out",
              dir + "/" + name + ".pem",
              "-days",
              "30",
              "-subj",
              subject,
              "-addext",
              "basicConstraints=critical,CA:TRUE",
              "-addext",
              "keyUsage=critical,keyCertSign"});
}

// A server certificate (NAME.pem, NAME.key) for `names`, signed by AUTHORITY.
bool MakeServerCertificate(const std::string& dir, const std::string& name,
                           const std::string& authority, const std::string& names) {
  const std::string base = dir + "/" + name;
  Write(base + ".ext", "subjectAltName=" + names + "\nextendedKeyUsage=serverAuth\n");
  return Run({"openssl", "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
              "-nodes", "-keyout", base + ".key", "-out", base + ".csr", "-subj",
              "/CN=Varnox test server"}) &&
         Run({"openssl", "x509", "-req", "-in", base + ".csr", "-CA",
              dir + "/" + authority + ".pem", "-CAkey", dir + "/" + authority + ".key",
              "-CAcreateserial", "-out", base + ".pem", "-days", "30", "-extfile", base + ".ext"});
}

// The certificates, made once for the whole test program (openssl takes a
// while) and copied into each server's folder.
class Certificates {
 public:
  ~Certificates() {
    if (!folder_.empty())
      Run({"rm", "-rf", folder_});
  }
  bool CopyTo(const std::string& dir) {
    if (!made_) {
      made_ = true;
      char pattern[] = "/tmp/varnox-imap-certs-XXXXXX";
      if (::mkdtemp(pattern) == nullptr)
        return false;
      folder_ = pattern;
      good_ = MakeAuthority(folder_, "ca", "/CN=Varnox Test CA") &&
              MakeAuthority(folder_, "other-ca", "/CN=Another Test CA") &&
              MakeServerCertificate(folder_, "server", "ca", "DNS:localhost,IP:127.0.0.1") &&
              MakeServerCertificate(folder_, "other", "other-ca", "DNS:localhost,IP:127.0.0.2") &&
              MakeServerCertificate(folder_, "wrong-host", "ca", "DNS:mail.other.example");
    }
    return good_ && Run({"cp", "-R", folder_ + "/.", dir});
  }

 private:
  bool made_ = false;
  bool good_ = false;
  std::string folder_;
};

Certificates certificates;

std::string Capabilities(const DovecotOptions& options) {
  std::string list =
      "IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE LITERAL+ NAMESPACE UNSELECT CHILDREN "
      "SPECIAL-USE";
  if (options.idle)
    list += " IDLE";
  if (options.move_and_uidplus)
    list += " MOVE UIDPLUS";
  return list;
}

}  // namespace

DovecotServer::~DovecotServer() {
  Stop();
  if (!top_.empty())
    Run({"rm", "-rf", top_});
}

bool DovecotServer::Start(const DovecotOptions& options, std::string* why) {
  if (::access(kDovecot, X_OK) != 0) {
    *why = "Dovecot is not installed (Debian package dovecot-imapd)";
    return false;
  }
  options_ = options;
  char pattern[] = "/tmp/varnox-imap-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    *why = "cannot make a temporary folder";
    return false;
  }
  top_ = pattern;
  ::chmod(top_.c_str(), 0755);
  if (!certificates.CopyTo(top_)) {
    *why = "openssl could not make the test certificates";
    return false;
  }
  Write(top_ + "/password", std::string(kPassword) + "\n", 0600);
  ::mkdir((top_ + "/mail").c_str(), 0700);
  ::mkdir((top_ + "/run").c_str(), 0700);
  imap_port_ = FreePort();
  imaps_port_ = FreePort();

  const bool root = ::geteuid() == 0;
  const struct passwd* runner = root ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
  if (runner == nullptr) {
    *why = "no user to run Dovecot as";
    return false;
  }
  const std::string user = runner->pw_name;
  const struct group* group = ::getgrgid(root ? runner->pw_gid : ::getegid());
  if (group == nullptr) {
    *why = "no group to run Dovecot as";
    return false;
  }
  std::ostringstream conf;
  conf << "base_dir = " << top_ << "/run\n"
       << "state_dir = " << top_ << "/run/state\n"
       << "log_path = " << top_ << "/dovecot.log\n"
       << "protocols = imap\n"
       << "listen = 127.0.0.1\n"
       << "ssl = yes\n"
       << "ssl_cert = <" << top_ << "/server.pem\n"
       << "ssl_key = <" << top_ << "/server.key\n"
       << "local 127.0.0.2 {\n  ssl_cert = <" << top_ << "/other.pem\n  ssl_key = <" << top_
       << "/other.key\n}\n"
       << "local 127.0.0.3 {\n  ssl_cert = <" << top_ << "/wrong-host.pem\n  ssl_key = <" << top_
       << "/wrong-host.key\n}\n"
       << "disable_plaintext_auth = no\n"
       << "auth_mechanisms = plain login\n"
       << "default_internal_user = " << user << "\n"
       << "default_internal_group = " << group->gr_name << "\n"
       << "default_login_user = " << user << "\n"
       << "mail_location = maildir:" << top_ << "/mail\n"
       << "imap_capability = " << Capabilities(options) << "\n"
       << "namespace inbox {\n  inbox = yes\n  separator = /\n"
       << "  mailbox Junk {\n    special_use = \\Junk\n    auto = create\n  }\n}\n"
       << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << top_ << "/passwd\n}\n"
       << "userdb {\n  driver = passwd-file\n  args = " << top_ << "/passwd\n}\n"
       << "service imap-login {\n  chroot =\n"
       << "  inet_listener imap {\n    address = 127.0.0.1, 127.0.0.2, 127.0.0.3\n    port = "
       << imap_port_ << "\n  }\n"
       << "  inet_listener imaps {\n    address = 127.0.0.1, 127.0.0.2, 127.0.0.3\n    port = "
       << imaps_port_ << "\n    ssl = yes\n  }\n}\n"
       << "service anvil {\n  chroot =\n}\n";
  Write(top_ + "/dovecot.conf", conf.str());
  // The password is quoted-free in the file: passwd-file splits at ':'.
  Write(top_ + "/passwd", std::string(kUser) + ":{PLAIN}" + kPassword + ":::::\n");
  if (root) {
    Run({"chown", "-R", "nobody:nogroup", top_});
    // The client (root) keeps its password file its own.
    ::chown((top_ + "/password").c_str(), 0, 0);
  }
  return Launch(why);
}

bool DovecotServer::Launch(std::string* why) {
  const std::string conf = top_ + "/dovecot.conf";
  std::vector<std::string> words;
  if (::geteuid() == 0)
    words = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  words.insert(words.end(), {kDovecot, "-c", conf, "-F"});
  pid_ = Spawn(words);
  if (pid_ < 0) {
    *why = "cannot start Dovecot";
    return false;
  }
  // Ready when it takes connections on both ports; a busy machine may take
  // its time.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!(CanConnect(imap_port_) && CanConnect(imaps_port_))) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *why = "Dovecot stopped at start: " + Log();
      return false;
    }
    if (std::chrono::steady_clock::now() > until) {
      *why = "Dovecot did not listen within a minute: " + Log();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool DovecotServer::Restart(std::string* why) {
  Stop();
  return Launch(why);
}

void DovecotServer::Stop() {
  if (pid_ <= 0)
    return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  // Its listening sockets close with it; wait until the port is free.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (CanConnect(imap_port_) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::string DovecotServer::other_certificate_fingerprint() const {
  const std::string out = top_ + "/other.fingerprint";
  Run({"sh", "-c",
       "openssl x509 -in '" + top_ + "/other.pem' -noout -fingerprint -sha256 > '" + out + "'"});
  std::string text = ReadFile(out);
  std::string hex;
  const std::size_t equals = text.find('=');
  for (std::size_t i = equals == std::string::npos ? 0 : equals + 1; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))
      hex.push_back(c);
    else if (c >= 'A' && c <= 'F')
      hex.push_back(static_cast<char>(c - 'A' + 'a'));
  }
  return hex;
}

ImapAccount DovecotServer::Account(ImapSecurity security) const {
  ImapAccount account;
  account.name = "test";
  account.server = "127.0.0.1";
  account.security = security;
  account.port = security == ImapSecurity::kTls ? imaps_port_ : imap_port_;
  account.user = kUser;
  if (security != ImapSecurity::kPlain)
    account.ca_file = ca_file();
  account.password_file = top_ + "/password";
  return account;
}

std::string DovecotServer::Log() const {
  return ReadFile(top_ + "/dovecot.log");
}

}  // namespace varnox::testing

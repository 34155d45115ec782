// `varnox watch imap:bench` against a real Dovecot on loopback (the test
// harness's), as a user runs it:
//   build/release/bench/imap_watch_bench [MESSAGES]
// MESSAGES (default 10,000) messages of about 3 KB wait in the Inbox, not
// yet seen by any mail program, when watch starts for the first time: the
// time until every one was judged and stamped (a stamped copy appended, the
// original removed), then the time from the APPEND of one more (spam) to its
// line saying it is in SpamFilter, and the peak resident memory of watch.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "linux/imap/imap_client.h"
#include "linux/imap/password_source.h"
#include "tests/imap/dovecot_server.h"

namespace varnox {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::size_t Lines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);)
    ++lines;
  return lines;
}

pid_t Spawn(std::vector<std::string> args, const std::vector<std::string>& env,
            const fs::path& out) {
  std::vector<char*> argv, envp;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> e = env;
  for (std::string& v : e)
    envp.push_back(v.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string err = out.string() + ".err";
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool WaitForLines(const fs::path& out, std::size_t lines, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  while (Lines(out) < lines) {
    if (Clock::now() > until)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int Run(int messages) {
  testing::DovecotServer server;
  std::string why;
  if (!server.Start({}, &why)) {
    std::fprintf(stderr, "Dovecot could not start: %s\n", why.c_str());
    return 77;
  }
  // Delivered straight into the Maildir's new/, as a delivery agent would:
  // \Recent for the first session that selects the Inbox.
  const std::string mail = server.folder() + "/mail/";
  for (const char* sub : {"cur", "new", "tmp"}) {
    ::mkdir((mail + sub).c_str(), 0700);
    if (::geteuid() == 0 && ::chown((mail + sub).c_str(), 65534, 65534) != 0)
      return 1;
  }
  std::string body;
  while (body.size() < 3000)
    body += "Shall we meet at noon for lunch, and talk about the offer? ";
  for (int n = 0; n < messages; ++n) {
    const std::string name = mail + "new/1700000000.M" + std::to_string(n) + "P1.bench";
    std::ofstream(name) << "Received: by mx.example\nFrom: Ann <ann@example.org>\n"
                        << "Message-ID: <" << n << "@example.org>\nSubject: Message " << n << "\n\n"
                        << body << "\n";
    if (::geteuid() == 0 && ::chown(name.c_str(), 65534, 65534) != 0)
      return 1;
  }
  std::string pattern = (fs::temp_directory_path() / "varnox-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return 1;
  const fs::path home = pattern;
  const std::vector<std::string> env = {"HOME=" + home.string(), "PATH=/usr/bin:/bin",
                                        "LC_ALL=C.UTF-8", "XDG_RUNTIME_DIR=" + home.string()};
  const fs::path out = home / "watch.out";
  int status = 0;
  pid_t pid = Spawn({VARNOX_BINARY, "init"}, env, home / "init.out");
  ::waitpid(pid, &status, 0);
  const ImapAccount account = server.Account();
  std::ofstream(home / ".config/varnox/accounts.ini")
      << "[account bench]\nserver = " << account.server << "\nport = " << account.port
      << "\nuser = " << account.user << "\nca-file = " << account.ca_file
      << "\npassword-file = " << account.password_file << "\n";

  const auto started = Clock::now();
  pid = Spawn({VARNOX_BINARY, "watch", "imap:bench"}, env, out);
  const bool caught_up = WaitForLines(out, messages, std::chrono::seconds(1800));
  const double catch_up_s = std::chrono::duration<double>(Clock::now() - started).count();

  double idle_s = -1;
  if (caught_up) {
    ImapClient client;
    SecretText password;
    std::string error;
    if (ReadAccountPassword(account, &password, &error) && client.Connect(account, password).ok()) {
      std::uint32_t uid = 0;
      const auto sent = Clock::now();
      client.Append("INBOX",
                    "Received: by mx.example\r\nFrom: Ivan <ivan@example.ru>\r\nSubject: "
                    "=?utf-8?B?0L/RgNC40LLQtdGC?=\r\n\r\nplain words\r\n",
                    {}, std::nullopt, &uid);
      if (WaitForLines(out, messages + 1, std::chrono::seconds(60)))
        idle_s = std::chrono::duration<double>(Clock::now() - sent).count();
      client.Logout();
    }
  }
  ::kill(pid, SIGTERM);
  rusage usage = {};
  ::wait4(pid, &status, 0, &usage);
  std::printf("messages %d\ncaught up %s in %.2f s: %.0f messages/s (from the start of watch)\n",
              messages, caught_up ? "all" : "NOT all", catch_up_s, messages / catch_up_s);
  std::printf("one more, by APPEND, stamped and in SpamFilter: %.3f s\n", idle_s);
  std::printf("peak resident memory of watch: %ld KiB\n", usage.ru_maxrss);
  std::error_code ignored;
  fs::remove_all(home, ignored);
  return caught_up && idle_s >= 0 ? 0 : 1;
}

}  // namespace
}  // namespace varnox

int main(int argc, char** argv) {
  return varnox::Run(argc > 1 ? std::atoi(argv[1]) : 10000);
}

#include "linux/imap/password_source.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace varnox {
namespace {

// The first line of what a source held, without its line end. The buffer
// it came in is wiped either way.
bool TakeFirstLine(std::string& bytes, SecretText* password) {
  std::size_t end = bytes.find('\n');
  if (end == std::string::npos)
    end = bytes.size();
  if (end > 0 && bytes[end - 1] == '\r')
    --end;
  std::string line = bytes.substr(0, end);
  explicit_bzero(bytes.data(), bytes.size());
  bytes.clear();
  if (line.empty())
    return false;
  password->Assign(line);
  return true;
}

bool ReadPasswordFile(const ImapAccount& account, SecretText* password, std::string* error) {
  const std::string& path = account.password_file;
  const std::string who = "account " + account.name + ": password-file " + path;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = who + " cannot be read: " + std::strerror(errno);
    return false;
  }
  // Checked on the file opened, not on its name, so that a swap between
  // the check and the read cannot pass.
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = who + " is not a regular file";
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    ::close(fd);
    *error = who + " belongs to another user; it must be your own";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    ::close(fd);
    *error = who + " may be read or changed by others; make it yours alone (chmod 600)";
    return false;
  }
  std::string bytes;
  bytes.reserve(kMaxPasswordSourceBytes + 1);
  char buffer[512];
  bool failed = false;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      failed = n < 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
    explicit_bzero(buffer, sizeof buffer);
    if (bytes.size() > kMaxPasswordSourceBytes)
      break;
  }
  ::close(fd);
  if (failed || bytes.size() > kMaxPasswordSourceBytes) {
    explicit_bzero(bytes.data(), bytes.size());
    *error = failed ? who + " cannot be read" : who + " is larger than a password (4096 bytes)";
    return false;
  }
  if (!TakeFirstLine(bytes, password)) {
    *error = who + " holds no password on its first line";
    return false;
  }
  return true;
}

bool RunPasswordCommand(const ImapAccount& account, SecretText* password, std::string* error,
                        const PasswordSourceLimits& limits) {
  const std::string who =
      "account " + account.name + ": password-command " + account.password_command.front();
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = who + " cannot be run: " + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  std::vector<char*> argv;
  for (const std::string& word : account.password_command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    *error = who + " cannot be run: " + std::strerror(spawned);
    return false;
  }

  std::string bytes;
  bytes.reserve(kMaxPasswordSourceBytes + 1);
  const auto deadline = std::chrono::steady_clock::now() + limits.command_time;
  enum { kRunning, kTooMuch, kTooLong, kReadError } outcome = kRunning;
  char buffer[512];
  while (outcome == kRunning) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      outcome = kTooLong;
      break;
    }
    struct pollfd wait = {pipe_fds[0], POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) {
      outcome = kReadError;
      break;
    }
    if (ready <= 0)
      continue;
    const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      outcome = kReadError;
      break;
    }
    if (n == 0)
      break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    explicit_bzero(buffer, sizeof buffer);
    if (bytes.size() > kMaxPasswordSourceBytes)
      outcome = kTooMuch;
  }
  ::close(pipe_fds[0]);
  if (outcome != kRunning)
    ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (outcome != kRunning) {
    explicit_bzero(bytes.data(), bytes.size());
    *error = outcome == kTooMuch ? who + " printed more than a password (4096 bytes)"
             : outcome == kTooLong
                 ? who + " did not finish within " +
                       std::to_string(
                           std::chrono::duration_cast<std::chrono::seconds>(limits.command_time)
                               .count()) +
                       " seconds"
                 : who + " could not be read";
    return false;
  }
  if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0)) {
    explicit_bzero(bytes.data(), bytes.size());
    *error = WIFSIGNALED(status)
                 ? who + " was ended by signal " + std::to_string(WTERMSIG(status))
                 : who + " failed with exit status " + std::to_string(WEXITSTATUS(status));
    return false;
  }
  if (!TakeFirstLine(bytes, password)) {
    *error = who + " printed no password on its first line";
    return false;
  }
  return true;
}

}  // namespace

bool ReadAccountPassword(const ImapAccount& account, SecretText* password, std::string* error,
                         const PasswordSourceLimits& limits) {
  if (!account.password_command.empty())
    return RunPasswordCommand(account, password, error, limits);
  if (!account.password_file.empty())
    return ReadPasswordFile(account, password, error);
  *error = "account " + account.name + " names neither password-command nor password-file";
  return false;
}

}  // namespace varnox

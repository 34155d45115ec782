#include "linux/watch/database_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnox::watch {
namespace {

// The holder's line: "PID COMMAND". More is never written; more is not read.
constexpr std::size_t kMaxHolderBytes = 256;

std::string ReadHolder(int fd) {
  char buffer[kMaxHolderBytes];
  const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
  if (n <= 0)
    return {};
  std::string line(buffer, static_cast<std::size_t>(n));
  line = line.substr(0, line.find('\n'));
  // Only what a holder writes: a number, a space, printable ASCII.
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      c = '?';
  }
  return line;
}

std::string DescribeHolder(const std::string& line) {
  const std::size_t space = line.find(' ');
  const std::string pid = line.substr(0, space);
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
    return "another process";
  if (space == std::string::npos)
    return "process " + pid;
  return "`" + line.substr(space + 1) + "` (process " + pid + ")";
}

void WriteHolder(int fd, std::string_view command) {
  std::string line = std::to_string(::getpid()) + " " + std::string(command);
  line = line.substr(0, kMaxHolderBytes - 1) + "\n";
  // What was there is the last holder's; a failed write only costs the
  // next process the name of this one.
  if (::ftruncate(fd, 0) != 0)
    return;
  [[maybe_unused]] const ssize_t written = ::pwrite(fd, line.data(), line.size(), 0);
}

// The lock file, made (0600) when missing; -1, with *error, when it cannot
// be used.
int OpenLockFile(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0)
    *error = "cannot use the lock file " + path + ": " + std::strerror(errno);
  return fd;
}

// flock(2), again when a signal interrupts it: 0, or the error.
int LockFile(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR)
      return errno;
  }
  return 0;
}

}  // namespace

std::string DatabaseLock::LockFilePath(const std::string& word_file) {
  return word_file + ".lock";
}

std::unique_ptr<DatabaseLock> DatabaseLock::Take(const std::string& word_file,
                                                 std::string_view command, std::string* refusal) {
  const std::string path = LockFilePath(word_file);
  const int fd = OpenLockFile(path, refusal);
  if (fd < 0)
    return nullptr;
  if (const int error = LockFile(fd, LOCK_EX | LOCK_NB); error != 0) {
    if (error == EWOULDBLOCK) {
      *refusal = "the word database " + word_file + " is in use by " +
                 DescribeHolder(ReadHolder(fd)) +
                 "; only one Varnox command at a time may change it. Stop that one or wait "
                 "until it has finished";
    } else {
      *refusal = "cannot lock " + path + ": " + std::strerror(error);
    }
    ::close(fd);
    return nullptr;
  }
  WriteHolder(fd, command);
  return std::unique_ptr<DatabaseLock>(new DatabaseLock(fd));
}

std::unique_ptr<DatabaseLock> DatabaseLock::Wait(const std::string& data_file, std::string* error) {
  const std::string path = LockFilePath(data_file);
  const int fd = OpenLockFile(path, error);
  if (fd < 0)
    return nullptr;
  if (const int failure = LockFile(fd, LOCK_EX); failure != 0) {
    *error = "cannot lock " + path + ": " + std::strerror(failure);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<DatabaseLock>(new DatabaseLock(fd));
}

DatabaseLock::~DatabaseLock() {
  ::close(fd_);  // releases the lock
}

}  // namespace varnox::watch

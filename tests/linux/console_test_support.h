// Descriptors for console tests: a pipe whose reading end does not block,
// and a pseudo-terminal that isatty() takes for a terminal.
#ifndef VARNOX_TESTS_LINUX_CONSOLE_TEST_SUPPORT_H_
#define VARNOX_TESTS_LINUX_CONSOLE_TEST_SUPPORT_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace varnox::testing {

// Reads what is waiting in a non-blocking descriptor.
inline std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

struct Pipe {
  Pipe() {
    EXPECT_EQ(::pipe(fds), 0);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  int fds[2] = {-1, -1};
};

// A terminal for the prompts: what a test types into the master side is
// read from the slave side, which isatty() takes for a terminal.
struct Terminal {
  Terminal() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(::grantpt(master), 0);
    EXPECT_EQ(::unlockpt(master), 0);
    slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_GE(slave, 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);  // the echo is never read to the end
  }
  ~Terminal() {
    ::close(slave);
    ::close(master);
  }
  void Type(std::string_view lines) {
    EXPECT_EQ(::write(master, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  }
  int master = -1;
  int slave = -1;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_LINUX_CONSOLE_TEST_SUPPORT_H_

// A client of the request channel written by hand, for tests that send
// what `varnox` never would.
#ifndef VARNOX_TESTS_WATCH_REQUEST_TEST_SUPPORT_H_
#define VARNOX_TESTS_WATCH_REQUEST_TEST_SUPPORT_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "linux/watch/request_channel.h"

namespace varnox::testing {

// A connection to the socket at `path`; -1 when none listens.
inline int ConnectChannel(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Sends `bytes` with `fds` attached.
inline void SendPacket(int fd, const std::string& bytes, const std::vector<int>& fds) {
  iovec data = {const_cast<char*>(bytes.data()), bytes.size()};
  std::vector<char> control(CMSG_SPACE(sizeof(int) * fds.size()));
  msghdr message = {};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  if (!fds.empty()) {
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
    std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
  }
  EXPECT_EQ(::sendmsg(fd, &message, MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Sends `bytes` with `count` descriptors of /dev/null attached.
inline void SendWithNull(int fd, const std::string& bytes, int count = watch::kRequestDescriptors) {
  std::vector<int> fds;
  for (int i = 0; i < count; ++i)
    fds.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  SendPacket(fd, bytes, fds);
  for (const int opened : fds)
    ::close(opened);
}

// The reply's status (and message); -1 when none came.
inline int ReadReply(int fd, std::string* message = nullptr) {
  char buffer[1024];
  const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
  int status = -1;
  std::string text;
  if (n <= 0 ||
      !watch::DecodeReply(std::string_view(buffer, static_cast<std::size_t>(n)), &status, &text))
    return -1;
  if (message != nullptr)
    *message = text;
  return status;
}

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_WATCH_REQUEST_TEST_SUPPORT_H_

#include "linux/imap/socket_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnox {
namespace {

bool IsLoopback(const struct sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const struct sockaddr_in*>(address);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const struct sockaddr_in6*>(address);
    if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr))
      return true;
    return IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && in6->sin6_addr.s6_addr[12] == 127;
  }
  return false;
}

std::string Where(const std::string& host, std::uint16_t port) {
  return host + ":" + std::to_string(port);
}

}  // namespace

int WaitForDescriptor(int fd, short events, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    struct pollfd wait = {fd, events, 0};
    const int ready = ::poll(&wait, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      return ready;
    return 1;  // ready, or an error or hang-up that the next call reports
  }
}

std::unique_ptr<SocketStream> SocketStream::Connect(const std::string& host, std::uint16_t port,
                                                    bool loopback_only,
                                                    std::chrono::milliseconds limit,
                                                    ImapResult* result) {
  struct addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  struct addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int looked_up = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (looked_up != 0) {
    *result = ImapFailure(ImapStatus::kNetwork,
                          "cannot find the server " + host + ": " + ::gai_strerror(looked_up));
    return nullptr;
  }
  std::unique_ptr<struct addrinfo, void (*)(struct addrinfo*)> addresses(found, ::freeaddrinfo);
  if (loopback_only) {
    for (const struct addrinfo* a = found; a != nullptr; a = a->ai_next) {
      if (!IsLoopback(a->ai_addr)) {
        *result =
            ImapFailure(ImapStatus::kAccount,
                        "plain text (security = plain) is allowed only to this machine, and " +
                            host + " is not a loopback address; use tls or starttls");
        return nullptr;
      }
    }
  }
  std::string last_error = "no address";
  for (const struct addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      last_error = std::strerror(errno);
      continue;
    }
    int connected = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (connected != 0 && errno == EINPROGRESS) {
      const int ready = WaitForDescriptor(fd, POLLOUT, limit);
      int socket_error = 0;
      socklen_t length = sizeof socket_error;
      if (ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &socket_error, &length) == 0 &&
          socket_error == 0) {
        connected = 0;
      } else {
        errno = ready == 0 ? ETIMEDOUT : (socket_error != 0 ? socket_error : errno);
      }
    }
    if (connected != 0) {
      last_error = std::strerror(errno);
      ::close(fd);
      continue;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    *result = ImapOk();
    return std::make_unique<SocketStream>(fd, limit);
  }
  *result = ImapFailure(ImapStatus::kNetwork,
                        "cannot connect to " + Where(host, port) + ": " + last_error);
  return nullptr;
}

SocketStream::SocketStream(int fd, std::chrono::milliseconds io_limit)
    : fd_(fd), io_limit_(io_limit) {}

SocketStream::~SocketStream() {
  if (fd_ >= 0)
    ::close(fd_);
}

long SocketStream::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n >= 0)
      return static_cast<long>(n);
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = std::strerror(errno);
      return -1;
    }
    const int ready = WaitForDescriptor(fd_, POLLIN, io_limit_);
    if (ready <= 0) {
      error_ = ready == 0 ? "the server sent nothing for " +
                                std::to_string(io_limit_.count() / 1000) + " seconds"
                          : std::strerror(errno);
      return -1;
    }
  }
}

long SocketStream::Write(const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::send(fd_, data + done, size - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = std::strerror(errno);
      return -1;
    }
    const int ready = WaitForDescriptor(fd_, POLLOUT, io_limit_);
    if (ready <= 0) {
      error_ = ready == 0 ? "the server took nothing for " +
                                std::to_string(io_limit_.count() / 1000) + " seconds"
                          : std::strerror(errno);
      return -1;
    }
  }
  return static_cast<long>(size);
}

}  // namespace varnox

#include "tests/imap/cutting_proxy.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tests/imap/loopback.h"

namespace varnox::testing {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

CuttingProxy::CuttingProxy(std::uint16_t server_port) : server_port_(server_port) {
  listener_ = ListenOnLoopback(&port_);
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0)
    stop_pipe_[0] = stop_pipe_[1] = -1;
  thread_ = std::thread([this] { Serve(); });
}

CuttingProxy::~CuttingProxy() {
  const char stop = 's';
  if (::write(stop_pipe_[1], &stop, 1) != 1) {
    // The thread then waits for its connection to end.
  }
  thread_.join();
  ::close(listener_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
}

void CuttingProxy::CutAfter(std::size_t client_bytes, std::size_t server_bytes) {
  client_limit_ = client_bytes;
  server_limit_ = server_bytes;
}

void CuttingProxy::Serve() {
  for (;;) {
    struct pollfd waits[2] = {{listener_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0 && errno == EINTR)
      continue;
    if (waits[1].revents != 0)
      return;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
      continue;
    const int server = ConnectToLoopback(server_port_);
    if (server >= 0)
      Relay(client, server);
    ::close(client);
    if (server >= 0)
      ::close(server);
  }
}

void CuttingProxy::Relay(int client, int server) {
  const std::size_t limits[2] = {client_limit_, server_limit_};
  std::size_t passed[2] = {0, 0};
  char buffer[16384];
  for (;;) {
    struct pollfd waits[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(waits, 3, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (waits[2].revents != 0)
      return;
    for (int side = 0; side < 2; ++side) {
      if (waits[side].revents == 0)
        continue;
      const int from = side == 0 ? client : server;
      const int to = side == 0 ? server : client;
      std::size_t room = sizeof buffer;
      if (limits[side] != 0)
        room = std::min(room, limits[side] - passed[side]);
      const ssize_t n = ::recv(from, buffer, room, 0);
      if (n <= 0)
        return;
      passed[side] += static_cast<std::size_t>(n);
      if (!WriteAll(to, buffer, static_cast<std::size_t>(n)))
        return;
      if (limits[side] != 0 && passed[side] >= limits[side]) {
        ++cuts_;
        return;
      }
    }
  }
}

}  // namespace varnox::testing

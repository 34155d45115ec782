// A TCP connection to a server, without TLS: the plain stream that TLS runs
// over, and the whole connection for a server on this machine that the
// account allows plain text to.
#ifndef VARNOX_LINUX_IMAP_SOCKET_STREAM_H_
#define VARNOX_LINUX_IMAP_SOCKET_STREAM_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "linux/imap/byte_stream.h"
#include "linux/imap/imap_result.h"

namespace varnox {

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT) or the time is
// up: 1 ready, 0 time up, -1 failed (errno says).
int WaitForDescriptor(int fd, short events, std::chrono::milliseconds limit);

class SocketStream : public ByteStream {
 public:
  // Connects to `host` (a name or an address) on `port`, trying each address
  // the name has. With `loopback_only`, a name with any address that is not
  // this machine's is refused (kAccount) before anything is sent. On failure
  // nullptr, and *result says why (kNetwork when nothing answered).
  static std::unique_ptr<SocketStream> Connect(const std::string& host, std::uint16_t port,
                                               bool loopback_only, std::chrono::milliseconds limit,
                                               ImapResult* result);

  // Takes `fd`, a connected socket, and closes it when destroyed.
  SocketStream(int fd, std::chrono::milliseconds io_limit);
  ~SocketStream() override;
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  long Read(char* buffer, std::size_t size) override;
  long Write(const char* data, std::size_t size) override;
  int WaitDescriptor() const override { return fd_; }
  bool HasBuffered() const override { return false; }
  const std::string& Error() const override { return error_; }

  int fd() const { return fd_; }
  std::chrono::milliseconds io_limit() const { return io_limit_; }

 private:
  int fd_;
  std::chrono::milliseconds io_limit_;
  std::string error_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_SOCKET_STREAM_H_

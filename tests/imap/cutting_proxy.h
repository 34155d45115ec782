// A TCP proxy on a loopback port for tests: it passes each connection on to
// a server and cuts it (both sides closed at once) after a set number of
// bytes, so that a test can drop a connection at any instant of a command.
#ifndef VARNOX_TESTS_IMAP_CUTTING_PROXY_H_
#define VARNOX_TESTS_IMAP_CUTTING_PROXY_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace varnox::testing {

class CuttingProxy {
 public:
  // Listens on 127.0.0.1 (port() tells which) and passes connections on to
  // 127.0.0.1:server_port, one at a time.
  explicit CuttingProxy(std::uint16_t server_port);
  ~CuttingProxy();
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;

  std::uint16_t port() const { return port_; }
  // The next connections are cut once the client has sent `client_bytes`
  // or the server `server_bytes` (0: no limit on that side). The bytes up
  // to the limit are passed on; not one more.
  void CutAfter(std::size_t client_bytes, std::size_t server_bytes);
  // Connections cut so far.
  int cuts() const { return cuts_; }

 private:
  void Serve();
  void Relay(int client, int server);

  std::uint16_t server_port_;
  std::uint16_t port_ = 0;
  int listener_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::atomic<std::size_t> client_limit_{0};
  std::atomic<std::size_t> server_limit_{0};
  std::atomic<int> cuts_{0};
  std::thread thread_;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_IMAP_CUTTING_PROXY_H_

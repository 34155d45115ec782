// Sockets on 127.0.0.1 for the IMAP tests' servers and proxies.
#ifndef VARNOX_TESTS_IMAP_LOOPBACK_H_
#define VARNOX_TESTS_IMAP_LOOPBACK_H_

#include <cstdint>

namespace varnox::testing {

// A socket listening on 127.0.0.1, on a port the system chose (*port), or -1.
int ListenOnLoopback(std::uint16_t* port);
// A socket connected to 127.0.0.1:port, or -1 when nothing listens there.
int ConnectToLoopback(std::uint16_t port);

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_IMAP_LOOPBACK_H_

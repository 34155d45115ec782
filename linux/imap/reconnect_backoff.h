// How long to wait before connecting again after a failure that may pass
// (the server restarting, the network gone): twice as long after each
// failure in a row, up to a cap, each wait drawn at random from its upper
// half so that many clients that lost one server do not return at one
// instant. Failures that will not pass (a refused password or certificate)
// are not retried at all: see ConnectWithRetries.
#ifndef VARNOX_LINUX_IMAP_RECONNECT_BACKOFF_H_
#define VARNOX_LINUX_IMAP_RECONNECT_BACKOFF_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>

#include "linux/imap/imap_account.h"
#include "linux/imap/imap_client.h"
#include "linux/imap/imap_result.h"
#include "linux/imap/secret_text.h"

namespace varnox {

class ReconnectBackoff {
 public:
  ReconnectBackoff(std::chrono::milliseconds first, std::chrono::milliseconds cap,
                   std::uint64_t seed);
  // The wait before the next try: in [d/2, d], d = first * 2^failures, at most cap.
  std::chrono::milliseconds Next();
  // After a success: the next failure waits `first` again.
  void Reset() { failures_ = 0; }

 private:
  std::chrono::milliseconds first_;
  std::chrono::milliseconds cap_;
  int failures_ = 0;
  std::mt19937_64 random_;
};

// Connects `client` to the account, trying again after each failure that
// may pass, after the backoff's wait. `wait` sleeps for the time given and
// returns false when the caller wants to stop meanwhile. Returns success,
// the first failure that will not pass (the server is not asked again), or
// kStopped.
ImapResult ConnectWithRetries(ImapClient& client, const ImapAccount& account,
                              const SecretText& password, ReconnectBackoff& backoff,
                              const std::function<bool(std::chrono::milliseconds)>& wait);

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_RECONNECT_BACKOFF_H_

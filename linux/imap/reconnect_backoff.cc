#include "linux/imap/reconnect_backoff.h"

#include <algorithm>

namespace varnox {

ReconnectBackoff::ReconnectBackoff(std::chrono::milliseconds first, std::chrono::milliseconds cap,
                                   std::uint64_t seed)
    : first_(std::max(first, std::chrono::milliseconds(1))),
      cap_(std::max(cap, first_)),
      random_(seed) {}

std::chrono::milliseconds ReconnectBackoff::Next() {
  // Doubling stops once the cap is reached, so the count cannot overflow.
  long long full = first_.count();
  for (int i = 0; i < failures_ && full < cap_.count(); ++i)
    full *= 2;
  full = std::min(full, static_cast<long long>(cap_.count()));
  if (full < cap_.count())
    ++failures_;
  std::uniform_int_distribution<long long> upper_half(full - full / 2, full);
  return std::chrono::milliseconds(upper_half(random_));
}

ImapResult ConnectWithRetries(ImapClient& client, const ImapAccount& account,
                              const SecretText& password, ReconnectBackoff& backoff,
                              const std::function<bool(std::chrono::milliseconds)>& wait) {
  for (;;) {
    ImapResult result = client.Connect(account, password);
    if (result.ok()) {
      backoff.Reset();
      return result;
    }
    if (result.permanent())
      return result;
    if (!wait(backoff.Next()))
      return ImapFailure(ImapStatus::kStopped,
                         "stopped while waiting to connect again: " + result.text);
  }
}

}  // namespace varnox

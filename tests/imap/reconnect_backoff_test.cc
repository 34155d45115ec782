#include "linux/imap/reconnect_backoff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/imap/loopback.h"

namespace varnox {
namespace {

using std::chrono::milliseconds;

TEST(ReconnectBackoffTest, DoublesUpToTheCapWithinTheUpperHalf) {
  for (std::uint64_t seed : {1u, 2u, 3u}) {
    ReconnectBackoff backoff(milliseconds(1000), milliseconds(60000), seed);
    const long long full[] = {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000};
    for (long long expected : full) {
      const long long wait = backoff.Next().count();
      EXPECT_GE(wait, expected / 2) << seed;
      EXPECT_LE(wait, expected) << seed;
    }
    backoff.Reset();
    EXPECT_LE(backoff.Next().count(), 1000);
  }
  // The jitter spreads the waits: two clients rarely return together.
  ReconnectBackoff a(milliseconds(1000), milliseconds(60000), 7);
  ReconnectBackoff b(milliseconds(1000), milliseconds(60000), 8);
  int same = 0;
  for (int i = 0; i < 10; ++i)
    same += a.Next() == b.Next();
  EXPECT_LT(same, 10);
}

TEST(ReconnectBackoffTest, AFailureThatMayPassIsRetriedAfterEachWait) {
  // A loopback port where nothing listens.
  std::uint16_t port = 0;
  const int fd = testing::ListenOnLoopback(&port);
  ASSERT_GE(fd, 0);
  ::close(fd);

  ImapAccount account;
  account.server = "127.0.0.1";
  account.port = port;
  account.security = ImapSecurity::kPlain;
  ImapClient client;
  SecretText password;
  ReconnectBackoff backoff(milliseconds(100), milliseconds(400), 1);
  std::vector<milliseconds> waits;
  const ImapResult result =
      ConnectWithRetries(client, account, password, backoff, [&](milliseconds wait) {
        waits.push_back(wait);
        return waits.size() < 4;
      });
  EXPECT_EQ(result.status, ImapStatus::kStopped);
  EXPECT_NE(result.text.find("cannot connect to 127.0.0.1:"), std::string::npos) << result.text;
  ASSERT_EQ(waits.size(), 4u);
  EXPECT_LE(waits[0].count(), 100);
  EXPECT_GE(waits[3].count(), 200);
  EXPECT_LE(waits[3].count(), 400);
}

TEST(ReconnectBackoffTest, AFailureThatWillNotPassIsNotRetried) {
  // Plain text to an address that is not this machine's is refused before
  // any packet leaves (192.0.2.0/24 is kept for documentation).
  ImapAccount account;
  account.server = "192.0.2.1";
  account.port = 143;
  account.security = ImapSecurity::kPlain;
  ImapClient client;
  SecretText password;
  ReconnectBackoff backoff(milliseconds(100), milliseconds(400), 1);
  int waits = 0;
  const ImapResult result = ConnectWithRetries(client, account, password, backoff,
                                               [&](milliseconds) { return ++waits < 10; });
  EXPECT_EQ(result.status, ImapStatus::kAccount);
  EXPECT_TRUE(result.permanent());
  EXPECT_EQ(waits, 0);
  EXPECT_NE(result.text.find("192.0.2.1 is not a loopback address"), std::string::npos)
      << result.text;
}

}  // namespace
}  // namespace varnox

// The client against answers no sound server gives, written out as a
// script: each case is a fault found in what libetpan does with them, or a
// check of ours on what the server sends.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "linux/imap/imap_client.h"
#include "tests/imap/loopback.h"
#include "tests/imap/scripted_stream.h"

namespace varnox {
namespace {

using testing::ScriptedStream;

// Greeting, CAPABILITY, LOGIN, CAPABILITY: what every script starts with.
std::string LoggedIn(const std::string& capabilities = "IMAP4rev1 UIDPLUS") {
  return "* OK ready\r\n* CAPABILITY " + capabilities + "\r\n1 OK done\r\n2 OK logged in\r\n" +
         "* CAPABILITY " + capabilities + "\r\n3 OK done\r\n";
}

// Then SELECT: tag 4.
std::string Selected() {
  return LoggedIn() + "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] ok\r\n4 OK [READ-WRITE] done\r\n";
}

ImapResult ConnectOver(ImapClient& client, const std::string& script, std::string* written) {
  SecretText password;
  std::string text = "pw";
  password.Assign(text);
  return client.ConnectOver(std::make_unique<ScriptedStream>(script, 7, written), "test.example",
                            "ann", password);
}

// libetpan's mailimap_capability() read through a null pointer when the
// answer held no CAPABILITY line. The command goes out as RFC 3501 writes
// it, without a space after it.
TEST(ImapAnswersTest, ACapabilityAnswerWithoutItsListIsNoCrash) {
  std::string written;  // outlives the client, which writes into it to the end
  ImapClient client;
  const ImapResult result =
      ConnectOver(client, "* OK ready\r\n1 OK done\r\n2 OK logged in\r\n3 OK done\r\n", &written);
  ASSERT_TRUE(result.ok()) << result.text;
  EXPECT_TRUE(client.capabilities().empty());
  EXPECT_EQ(written, "1 CAPABILITY\r\n2 LOGIN ann pw\r\n3 CAPABILITY\r\n");
}

TEST(ImapAnswersTest, APreauthenticatedGreetingNeedsNoLogin) {
  std::string written;
  ImapClient client;
  const ImapResult result = ConnectOver(
      client, "* PREAUTH welcome\r\n* CAPABILITY IMAP4rev1 IDLE\r\n1 OK done\r\n", &written);
  ASSERT_TRUE(result.ok()) << result.text;
  EXPECT_TRUE(client.HasCapability("IDLE"));
  EXPECT_EQ(written, "1 CAPABILITY\r\n");
}

// libetpan read a literal that the end of the connection had cut short again
// and again, for ever.
TEST(ImapAnswersTest, ALiteralCutShortByTheServerHangingUpFailsAtOnce) {
  ImapClient client;
  ASSERT_TRUE(ConnectOver(client, LoggedIn() + "* LIST () \"/\" {76}\r\nflat", nullptr).ok());
  std::vector<ImapFolder> folders;
  const ImapResult result = client.ListFolders(&folders);
  EXPECT_EQ(result.status, ImapStatus::kNetwork) << result.text;
  EXPECT_NE(result.text.find("the server closed the connection"), std::string::npos) << result.text;
  EXPECT_FALSE(client.connected());
}

TEST(ImapAnswersTest, AFetchYieldsTheMessagesAskedForOnceEach) {
  struct Case {
    const char* what;
    std::string answer;  // to UID FETCH 2,3 (FLAGS)
    std::vector<std::uint32_t> uids;
  };
  const Case cases[] = {
      {"in order", "* 1 FETCH (UID 2 FLAGS ())\r\n* 2 FETCH (UID 3 FLAGS ())\r\n", {2, 3}},
      {"one not asked for",
       "* 1 FETCH (UID 9 FLAGS (\\Seen))\r\n* 2 FETCH (UID 3 FLAGS ())\r\n",
       {3}},
      {"twice", "* 1 FETCH (UID 2 FLAGS ())\r\n* 1 FETCH (UID 2 FLAGS (\\Seen))\r\n", {2}},
      {"without a UID", "* 1 FETCH (FLAGS (\\Seen))\r\n", {}},
  };
  for (const Case& c : cases) {
    ImapClient client;
    ASSERT_TRUE(ConnectOver(client, Selected() + c.answer + "5 OK done\r\n", nullptr).ok());
    ImapFolderState state;
    ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
    std::vector<std::uint32_t> seen;
    const ImapResult result = client.Fetch({2, 3}, kFetchFlags, [&](ImapMessage& m) {
      seen.push_back(m.uid);
      return true;
    });
    ASSERT_TRUE(result.ok()) << c.what << ": " << result.text;
    EXPECT_EQ(seen, c.uids) << c.what;
  }
}

TEST(ImapAnswersTest, ContentLargerThanAllowedIsNeverHandedOn) {
  ImapClientOptions options;
  options.max_message_bytes = 8;
  ImapClient client(options);
  // The sizes say 5 bytes; the content that comes is 12: more than allowed.
  ASSERT_TRUE(ConnectOver(client,
                          Selected() + "* 1 FETCH (UID 2 RFC822.SIZE 5)\r\n5 OK done\r\n" +
                              "* 1 FETCH (UID 2 RFC822.SIZE 5 BODY[] {12}\r\n0123456789ab)\r\n" +
                              "6 OK done\r\n",
                          nullptr)
                  .ok());
  ImapFolderState state;
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  int seen = 0;
  ASSERT_TRUE(client
                  .Fetch({2}, kFetchContent,
                         [&](ImapMessage& m) {
                           ++seen;
                           EXPECT_TRUE(m.too_large);
                           EXPECT_TRUE(m.content.empty());
                           return true;
                         })
                  .ok());
  EXPECT_EQ(seen, 1);
}

TEST(ImapAnswersTest, AFolderWithoutUidValidityIsRefused) {
  ImapClient client;
  ASSERT_TRUE(
      ConnectOver(client, LoggedIn() + "* 3 EXISTS\r\n4 OK [READ-WRITE] done\r\n", nullptr).ok());
  ImapFolderState state;
  const ImapResult result = client.Select("INBOX", false, &state);
  EXPECT_EQ(result.status, ImapStatus::kProtocol) << result.text;
  EXPECT_NE(result.text.find("gave no UIDVALIDITY for INBOX"), std::string::npos) << result.text;
}

TEST(ImapAnswersTest, ADateOutOfRangeIsNoDate) {
  struct Case {
    const char* date;
    bool kept;
  };
  const Case cases[] = {
      {"29-Feb-2024 23:59:58 -0500", true},
      {"29-Feb-2024 23:59:58 +9999", false},
      {"29-Feb-2024 24:00:00 +0000", false},
      {"29-Feb-2024 23:61:00 +0000", false},
  };
  for (const Case& c : cases) {
    ImapClient client;
    ASSERT_TRUE(ConnectOver(client,
                            Selected() + "* 1 FETCH (UID 2 INTERNALDATE \"" + c.date +
                                "\")\r\n5 OK done\r\n",
                            nullptr)
                    .ok());
    ImapFolderState state;
    ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
    int seen = 0;
    ASSERT_TRUE(client
                    .Fetch({2}, kFetchInternalDate,
                           [&](ImapMessage& m) {
                             ++seen;
                             EXPECT_EQ(m.internal_date.has_value(), c.kept) << c.date;
                             return true;
                           })
                    .ok())
        << c.date;
    EXPECT_EQ(seen, 1) << c.date;
  }
}

TEST(ImapAnswersTest, DatesAreInstantsWhateverTheirZone) {
  struct Case {
    ImapDate date;
    std::int64_t unix_time;
  };
  const Case cases[] = {
      {{1970, 1, 1, 0, 0, 0, 0}, 0},
      {{2024, 2, 29, 23, 59, 58, -500}, 1709269198},
      {{2024, 3, 1, 4, 59, 58, 0}, 1709269198},
      {{2000, 1, 1, 0, 30, 0, 130}, 946681200},  // +01:30: the day before in UTC
      {{1969, 12, 31, 23, 59, 59, 0}, -1},
      // The largest fields: no overflow (the sanitizers would stop here).
      {{2147483647, 12, 31, 23, 59, 59, 0}, 67767976233532799},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ImapDateToUnixTime(c.date), c.unix_time) << c.date.year << "-" << c.date.month;
}

// STARTTLS is never skipped nor undermined: bytes the server sends after its
// answer to STARTTLS and before TLS would be read as if TLS had brought
// them, and a PREAUTH greeting would have the client talk in plain text.
TEST(ImapAnswersTest, StartTlsCannotBeUndermined) {
  struct Case {
    const char* what;
    std::vector<std::string> script;  // the greeting, then one answer per command
    ImapStatus status;
    const char* text;
  };
  const Case cases[] = {
      {"data before TLS",
       {"* OK ready\r\n", "* CAPABILITY IMAP4rev1 STARTTLS\r\n1 OK done\r\n",
        "2 OK begin TLS\r\n* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\n"},
       ImapStatus::kProtocol,
       "sent data before TLS began"},
      {"a PREAUTH greeting",
       {"* PREAUTH welcome\r\n", "* CAPABILITY IMAP4rev1 STARTTLS\r\n1 OK done\r\n",
        "2 BAD not now\r\n"},
       ImapStatus::kRefused,
       "STARTTLS"},
  };
  for (const Case& c : cases) {
    std::uint16_t port = 0;
    const int listener = testing::ListenOnLoopback(&port);
    ASSERT_GE(listener, 0);
    std::string heard;
    std::thread server([&] {
      const int fd = ::accept(listener, nullptr, nullptr);
      char buffer[512];
      for (std::size_t i = 0; i < c.script.size(); ++i) {
        if (i > 0) {
          const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
          if (n <= 0)
            break;
          heard.append(buffer, static_cast<std::size_t>(n));
        }
        if (::send(fd, c.script[i].data(), c.script[i].size(), MSG_NOSIGNAL) < 0)
          break;
      }
      for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        heard.append(buffer, static_cast<std::size_t>(n));
      ::close(fd);
    });
    ImapAccount account;
    account.server = "127.0.0.1";
    account.port = port;
    account.security = ImapSecurity::kStartTls;
    ImapClient client;
    SecretText password;
    const ImapResult result = client.Connect(account, password);
    const bool connected = client.connected();
    client.Logout();  // lets the server's end finish, should the test fail
    server.join();
    ::close(listener);
    EXPECT_EQ(result.status, c.status) << c.what << ": " << result.text;
    EXPECT_NE(result.text.find(c.text), std::string::npos) << c.what << ": " << result.text;
    EXPECT_FALSE(connected) << c.what;
    EXPECT_EQ(heard.find("LOGIN"), std::string::npos) << c.what << ": " << heard;
  }
}

}  // namespace
}  // namespace varnox

// The IMAP client against a real Dovecot on loopback ports: TLS and its
// refusals, logging in, folders, fetching, appending, removing, moving and
// waiting, with every capability the client leans on offered or not, and
// connections cut part way by a proxy.
#include "linux/imap/imap_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "linux/imap/mailbox_name.h"
#include "linux/imap/password_source.h"
#include "linux/imap/reconnect_backoff.h"
#include "tests/imap/cutting_proxy.h"
#include "tests/imap/dovecot_server.h"

namespace varnox {
namespace {

using testing::CuttingProxy;
using testing::DovecotOptions;
using testing::DovecotServer;

std::string Message(int n, std::size_t body_bytes = 40) {
  std::string body;
  while (body.size() < body_bytes)
    body += "Line " + std::to_string(body.size()) + " of message " + std::to_string(n) + ".\r\n";
  return "Received: by mx.example\r\nFrom: Ann <ann@example.org>\r\nMessage-ID: <" +
         std::to_string(n) + "@example.org>\r\nSubject: Message " + std::to_string(n) + "\r\n\r\n" +
         body;
}

class DovecotTest : public ::testing::Test {
 protected:
  void StartServer(const DovecotOptions& options) {
    options_ = options;
    std::string why;
    if (!server_.Start(options, &why))
      GTEST_SKIP() << why;
    std::string error;
    ASSERT_TRUE(ReadAccountPassword(server_.Account(), &password_, &error)) << error;
  }

  // A logged-in client on the account, `security` as asked.
  void Connect(ImapClient& client, ImapSecurity security = ImapSecurity::kTls) {
    const ImapResult result = client.Connect(server_.Account(security), password_);
    ASSERT_TRUE(result.ok()) << result.text << "\n" << server_.Log();
  }
  // Appends messages 1..count to INBOX through another connection.
  void Deliver(int first, int count, std::size_t body_bytes = 40) {
    ImapClient other;
    Connect(other);
    for (int n = first; n < first + count; ++n) {
      std::uint32_t uid = 0;
      ASSERT_TRUE(other.Append("INBOX", Message(n, body_bytes), {}, std::nullopt, &uid).ok());
    }
    other.Logout();
  }
  std::vector<std::uint32_t> Uids(ImapClient& client, const std::string& folder) {
    ImapFolderState state;
    EXPECT_TRUE(client.Select(folder, false, &state).ok());
    std::vector<std::uint32_t> uids;
    EXPECT_TRUE(client.SearchUidsFrom(1, &uids).ok());
    return uids;
  }
  bool uidplus() const { return options_.move_and_uidplus; }

  DovecotOptions options_;
  DovecotServer server_;
  SecretText password_;
};

// What does not depend on the server's capabilities runs on one server.
class ImapClientTest : public DovecotTest {
 protected:
  void SetUp() override { StartServer({}); }
};

// What does runs with IDLE, MOVE and UIDPLUS each offered or not.
class ImapCapabilityTest : public DovecotTest,
                           public ::testing::WithParamInterface<DovecotOptions> {
 protected:
  void SetUp() override { StartServer(GetParam()); }
};

TEST_P(ImapCapabilityTest, LogsInOverEachKindOfConnection) {
  for (ImapSecurity security :
       {ImapSecurity::kTls, ImapSecurity::kStartTls, ImapSecurity::kPlain}) {
    ImapClient client;
    Connect(client, security);
    EXPECT_TRUE(client.HasCapability("IMAP4rev1"));
    EXPECT_EQ(client.HasCapability("IDLE"), options_.idle);
    EXPECT_EQ(client.HasCapability("uidplus"), options_.move_and_uidplus);
    EXPECT_EQ(client.HasCapability("MOVE"), options_.move_and_uidplus);
    EXPECT_FALSE(client.HasCapability("STARTTLS")) << "asked again once logged in";
    EXPECT_TRUE(client.Noop().ok());
    client.Logout();
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(client.Noop().status, ImapStatus::kNetwork);
  }
}

TEST_F(ImapClientTest, RefusesCertificatesItCannotTrust) {
  struct Case {
    const char* what;
    const char* host;
    ImapSecurity security;
    std::string ca_file;
    std::string fingerprint;
    ImapStatus status;
    const char* text;
  };
  const std::string ca = server_.ca_file();
  const std::string pinned = server_.other_certificate_fingerprint();
  ASSERT_EQ(pinned.size(), 64u);
  const Case cases[] = {
      {"the test's authority", "127.0.0.1", ImapSecurity::kTls, ca, "", ImapStatus::kOk, ""},
      {"by name", "localhost", ImapSecurity::kTls, ca, "", ImapStatus::kOk, ""},
      {"another authority", "127.0.0.2", ImapSecurity::kTls, ca, "", ImapStatus::kCertificate,
       "the certificate of 127.0.0.2 is refused: The certificate is NOT trusted. The certificate "
       "issuer is unknown"},
      {"another authority after STARTTLS", "127.0.0.2", ImapSecurity::kStartTls, ca, "",
       ImapStatus::kCertificate, "issuer is unknown"},
      {"another host name", "127.0.0.3", ImapSecurity::kTls, ca, "", ImapStatus::kCertificate,
       "the certificate of 127.0.0.3 is refused: The certificate is NOT trusted. The name in the "
       "certificate does not match the expected"},
      {"the system's authorities", "127.0.0.1", ImapSecurity::kTls, "", "",
       ImapStatus::kCertificate, "the certificate of 127.0.0.1 "},
      {"the other authority's file", "127.0.0.1", ImapSecurity::kTls, server_.other_ca_file(), "",
       ImapStatus::kCertificate, "issuer is unknown"},
      {"a CA file that is none", "127.0.0.1", ImapSecurity::kTls, server_.folder() + "/passwd", "",
       ImapStatus::kCertificate, "holds no PEM certificate"},
      {"the pinned certificate", "127.0.0.2", ImapSecurity::kTls, "", pinned, ImapStatus::kOk, ""},
      {"another certificate than the pinned one", "127.0.0.1", ImapSecurity::kTls, "", pinned,
       ImapStatus::kCertificate, "its SHA-256 fingerprint is"},
  };
  for (const Case& c : cases) {
    ImapAccount account = server_.Account(c.security);
    account.server = c.host;
    account.ca_file = c.ca_file;
    account.fingerprint = c.fingerprint;
    ImapClient client;
    const ImapResult result = client.Connect(account, password_);
    EXPECT_EQ(result.status, c.status) << c.what << ": " << result.text;
    EXPECT_NE(result.text.find(c.text), std::string::npos) << c.what << ": " << result.text;
    EXPECT_EQ(client.connected(), c.status == ImapStatus::kOk) << c.what;
    if (c.status != ImapStatus::kOk) {
      EXPECT_TRUE(result.permanent()) << c.what;
    }
  }
}

TEST_F(ImapClientTest, AWrongPasswordStopsWithoutTryingAgain) {
  SecretText wrong;
  std::string text = "not the password";
  wrong.Assign(text);
  ImapClient client;
  ReconnectBackoff backoff(std::chrono::milliseconds(10), std::chrono::milliseconds(10), 1);
  int waits = 0;
  const ImapResult result =
      ConnectWithRetries(client, server_.Account(), wrong, backoff, [&](auto) {
        ++waits;
        return true;
      });
  EXPECT_EQ(result.status, ImapStatus::kAuthentication) << result.text;
  EXPECT_EQ(waits, 0);
  EXPECT_NE(result.text.find("refused the user name or password of ann"), std::string::npos)
      << result.text;
  EXPECT_EQ(result.text.find("not the password"), std::string::npos) << result.text;
  EXPECT_EQ(result.text.find(DovecotServer::kPassword), std::string::npos) << result.text;
  EXPECT_FALSE(client.connected());
}

TEST_F(ImapClientTest, ListsAndMakesFolders) {
  ImapClient client;
  Connect(client);
  std::vector<ImapFolder> folders;
  ASSERT_TRUE(client.ListFolders(&folders).ok());
  auto find = [&](const std::string& name) -> const ImapFolder* {
    for (const ImapFolder& folder : folders) {
      if (folder.name == name)
        return &folder;
    }
    return nullptr;
  };
  ASSERT_NE(find("INBOX"), nullptr);
  ASSERT_NE(find("Junk"), nullptr);
  EXPECT_TRUE(find("Junk")->Has("\\junk"));
  EXPECT_FALSE(find("INBOX")->Has("\\Junk"));
  EXPECT_EQ(find("INBOX")->delimiter, '/');

  std::string wire;
  ASSERT_TRUE(EncodeMailboxName("Spam/Überfall & Co", &wire));
  for (int twice = 0; twice < 2; ++twice) {
    const ImapResult made = client.CreateFolder("SpamFilter");
    EXPECT_TRUE(made.ok()) << made.text;
    EXPECT_TRUE(client.CreateFolder(wire).ok());
  }
  ASSERT_TRUE(client.ListFolders(&folders).ok());
  ASSERT_NE(find("SpamFilter"), nullptr);
  ASSERT_NE(find("Spam/Überfall & Co"), nullptr);
  EXPECT_EQ(find("Spam/Überfall & Co")->wire_name, wire);

  const ImapResult refused = client.CreateFolder("INBOX/\x01");
  EXPECT_EQ(refused.status, ImapStatus::kRefused) << refused.text;
  EXPECT_TRUE(client.connected());
  ImapFolderState state;
  const ImapResult missing = client.Select("No such folder", false, &state);
  EXPECT_EQ(missing.status, ImapStatus::kRefused) << missing.text;
  EXPECT_NE(missing.text.find("refused SELECT No such folder"), std::string::npos) << missing.text;
}

TEST_P(ImapCapabilityTest, AppendsAndFetchesWithFlagsAndDate) {
  ImapClient client;
  Connect(client);
  const ImapDate date{2024, 2, 29, 23, 59, 58, -500};
  const std::string text = Message(1);
  std::uint32_t uid = 0;
  const ImapResult appended = client.Append(
      "INBOX", text, {"\\Seen", "\\Flagged", "$Label1", "\\Recent", "bad(kw"}, date, &uid);
  ASSERT_TRUE(appended.ok()) << appended.text;
  ImapFolderState state;
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  EXPECT_NE(state.uid_validity, 0u);
  EXPECT_EQ(state.exists, 1u);
  std::vector<std::uint32_t> uids;
  ASSERT_TRUE(client.SearchUidsFrom(1, &uids).ok());
  ASSERT_EQ(uids.size(), 1u);
  EXPECT_EQ(uid, uidplus() ? uids[0] : 0u);
  EXPECT_EQ(state.uid_next, uids[0] + 1);

  std::vector<ImapMessage> fetched;
  ASSERT_TRUE(client
                  .Fetch(uids, kFetchFlags | kFetchInternalDate | kFetchHeader | kFetchContent,
                         [&](ImapMessage& m) {
                           fetched.push_back(m);
                           return true;
                         })
                  .ok());
  ASSERT_EQ(fetched.size(), 1u);
  const ImapMessage& m = fetched[0];
  EXPECT_EQ(m.uid, uids[0]);
  EXPECT_EQ(m.content, text);
  EXPECT_EQ(m.size, text.size());
  EXPECT_EQ(m.header, text.substr(0, text.find("\r\n\r\n") + 4));
  ASSERT_TRUE(m.internal_date.has_value());
  // Dovecot keeps the instant (a Maildir file's time), not the zone.
  EXPECT_EQ(ImapDateToUnixTime(*m.internal_date), ImapDateToUnixTime(date));
  std::vector<std::string> flags = m.flags;
  std::sort(flags.begin(), flags.end());
  EXPECT_EQ(flags, (std::vector<std::string>{"$Label1", "\\Flagged", "\\Seen"}));

  // From a UID past the last: nothing, although "n:*" names the last one.
  ASSERT_TRUE(client.SearchUidsFrom(uids[0] + 1, &uids).ok());
  EXPECT_TRUE(uids.empty());
}

TEST_F(ImapClientTest, FetchesInBatchesAndLeavesOutMessagesTooLarge) {
  Deliver(1, 12, 300);
  Deliver(13, 1, 5000);
  ImapClientOptions options;
  options.fetch_batch_messages = 5;
  options.fetch_batch_bytes = 1000;
  options.max_message_bytes = 4000;
  ImapClient client(options);
  Connect(client);
  const std::vector<std::uint32_t> uids = Uids(client, "INBOX");
  ASSERT_EQ(uids.size(), 13u);
  std::vector<std::uint32_t> seen;
  ASSERT_TRUE(client
                  .Fetch(uids, kFetchContent | kFetchFlags,
                         [&](ImapMessage& m) {
                           seen.push_back(m.uid);
                           const bool large = m.uid == uids.back();
                           EXPECT_EQ(m.too_large, large) << m.uid;
                           EXPECT_EQ(m.content.empty(), large) << m.uid;
                           if (!large) {
                             EXPECT_NE(m.content.find("Subject: Message"), std::string::npos);
                           }
                           EXPECT_GT(m.size, large ? 4000u : 300u);
                           return true;
                         })
                  .ok());
  EXPECT_EQ(seen, uids);

  // Stopping part way.
  int taken = 0;
  const ImapResult stopped =
      client.Fetch(uids, kFetchFlags, [&](ImapMessage&) { return ++taken < 3; });
  EXPECT_EQ(stopped.status, ImapStatus::kStopped);
  EXPECT_EQ(taken, 3);
  EXPECT_TRUE(client.connected());
}

TEST_F(ImapClientTest, AnAnswerLargerThanAllowedClosesTheConnection) {
  ImapClient other;
  Connect(other);
  std::uint32_t uid = 0;
  const std::string large_header = "X-Padding: " + std::string(3000, 'p') + "\r\n" + Message(1);
  ASSERT_TRUE(other.Append("INBOX", large_header, {}, std::nullopt, &uid).ok());
  // Whole messages are bounded by their announced sizes, the rest by the budget.
  ImapClientOptions options;
  options.answer_budget = 2000;
  ImapClient client(options);
  Connect(client);
  ImapFolderState state;
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  std::vector<std::uint32_t> uids;
  ASSERT_TRUE(client.SearchUidsFrom(1, &uids).ok());
  EXPECT_TRUE(client.Fetch(uids, kFetchContent, [](ImapMessage&) { return true; }).ok());
  const ImapResult over = client.Fetch(uids, kFetchHeader, [](ImapMessage&) { return true; });
  EXPECT_EQ(over.status, ImapStatus::kProtocol) << over.text;
  EXPECT_NE(over.text.find("larger than the 2000 bytes allowed"), std::string::npos) << over.text;
  EXPECT_FALSE(client.connected());
}

TEST_P(ImapCapabilityTest, ExpungesOneMessageAndKeepsOthersMarkedDeleted) {
  Deliver(1, 3);
  ImapClient client;
  Connect(client);
  const std::vector<std::uint32_t> uids = Uids(client, "INBOX");
  ASSERT_EQ(uids.size(), 3u);
  // The user marked the first for deletion and has not expunged yet.
  ASSERT_TRUE(client.AddFlags(uids[0], {"\\Deleted"}).ok());
  const ImapResult removed = client.Expunge({uids[1]});
  ASSERT_TRUE(removed.ok()) << removed.text;
  EXPECT_EQ(Uids(client, "INBOX"), (std::vector<std::uint32_t>{uids[0], uids[2]}));
  std::vector<std::string> flags;
  ASSERT_TRUE(client
                  .Fetch({uids[0]}, kFetchFlags,
                         [&](ImapMessage& m) {
                           flags = m.flags;
                           return true;
                         })
                  .ok());
  EXPECT_NE(std::find(flags.begin(), flags.end(), "\\Deleted"), flags.end());
}

TEST_P(ImapCapabilityTest, MovesOneMessage) {
  Deliver(1, 2);
  ImapClient client;
  Connect(client);
  ASSERT_TRUE(client.CreateFolder("SpamFilter").ok());
  const std::vector<std::uint32_t> uids = Uids(client, "INBOX");
  ASSERT_EQ(uids.size(), 2u);
  std::uint32_t new_uid = 99;
  const ImapResult moved = client.Move(uids[0], "SpamFilter", &new_uid);
  ASSERT_TRUE(moved.ok()) << moved.text;
  EXPECT_EQ(Uids(client, "INBOX"), std::vector<std::uint32_t>{uids[1]});
  const std::vector<std::uint32_t> spam = Uids(client, "SpamFilter");
  ASSERT_EQ(spam.size(), 1u);
  EXPECT_EQ(new_uid, uidplus() ? spam[0] : 0u);
  std::string content;
  ASSERT_TRUE(client
                  .Fetch(spam, kFetchContent,
                         [&](ImapMessage& m) {
                           content = m.content;
                           return true;
                         })
                  .ok());
  EXPECT_EQ(content, Message(1));

  ImapFolderState state;
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  const ImapResult nowhere = client.Move(uids[1], "No such folder", &new_uid);
  EXPECT_EQ(nowhere.status, ImapStatus::kRefused) << nowhere.text;
  EXPECT_EQ(Uids(client, "INBOX"), std::vector<std::uint32_t>{uids[1]});
}

TEST_P(ImapCapabilityTest, WaitsForNews) {
  ImapClient client;
  Connect(client);
  ImapFolderState state;
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  ImapWaitOutcome outcome;

  ASSERT_TRUE(client.Wait(std::chrono::milliseconds(100), -1, &outcome).ok());
  EXPECT_EQ(outcome, ImapWaitOutcome::kTimedOut);

  int wake[2];
  ASSERT_EQ(::pipe(wake), 0);
  ASSERT_EQ(::write(wake[1], "w", 1), 1);
  ASSERT_TRUE(client.Wait(std::chrono::minutes(5), wake[0], &outcome).ok());
  EXPECT_EQ(outcome, ImapWaitOutcome::kWoken);
  ::close(wake[0]);
  ::close(wake[1]);

  // Mail delivered meanwhile: told at once with IDLE, at the poll without.
  Deliver(1, 1);
  const auto limit = options_.idle ? std::chrono::minutes(5) : std::chrono::milliseconds(50);
  ASSERT_TRUE(client.Wait(limit, -1, &outcome).ok());
  EXPECT_EQ(outcome, ImapWaitOutcome::kServerSpoke);
  std::vector<std::uint32_t> uids;
  ASSERT_TRUE(client.SearchUidsFrom(state.uid_next, &uids).ok());
  EXPECT_EQ(uids.size(), 1u);
  EXPECT_TRUE(client.Noop().ok()) << "the connection goes on after the wait";
}

TEST_F(ImapClientTest, ACutConnectionLeavesNoHalfAppendedMessage) {
  CuttingProxy proxy(server_.imap_port());
  ImapAccount account = server_.Account(ImapSecurity::kPlain);
  account.port = proxy.port();
  const std::string text = Message(7, 20000);
  // Cut after the client sent this many bytes: in the login, in the APPEND
  // command, part way through the message, and after all of it.
  int cut_and_absent = 0, cut_and_whole = 0;
  for (std::size_t cut :
       {std::size_t{30}, std::size_t{120}, std::size_t{5000}, std::size_t{20150}}) {
    proxy.CutAfter(cut, 0);
    ImapClient client;
    ImapResult result = client.Connect(account, password_);
    if (result.ok()) {
      std::uint32_t uid = 0;
      result = client.Append("INBOX", text, {"\\Seen"}, std::nullopt, &uid);
    }
    if (result.ok())
      continue;  // the cut came after the answer
    EXPECT_EQ(result.status, ImapStatus::kNetwork) << cut << ": " << result.text;
    EXPECT_FALSE(client.connected());

    proxy.CutAfter(0, 0);
    ImapClient checker;
    Connect(checker);
    std::vector<std::uint32_t> uids = Uids(checker, "INBOX");
    std::vector<std::string> contents;
    ASSERT_TRUE(checker
                    .Fetch(uids, kFetchContent,
                           [&](ImapMessage& m) {
                             contents.push_back(m.content);
                             return true;
                           })
                    .ok());
    for (const std::string& content : contents)
      EXPECT_EQ(content, text) << "a torn copy after a cut at " << cut;
    (contents.empty() ? cut_and_absent : cut_and_whole)++;
    for (std::uint32_t uid : uids)
      ASSERT_TRUE(checker.Expunge({uid}).ok());
    checker.Logout();
  }
  EXPECT_GE(cut_and_absent, 3) << "cuts before the message's end leave nothing";
  EXPECT_GE(proxy.cuts(), 3);
}

TEST_F(ImapClientTest, ACutConnectionIsFoundAndConnectedAgain) {
  Deliver(1, 20, 2000);
  CuttingProxy proxy(server_.imaps_port());
  ImapAccount account = server_.Account(ImapSecurity::kTls);
  account.port = proxy.port();
  proxy.CutAfter(0, 20000);  // in the middle of the fetch's answer
  ImapClient client;
  ASSERT_TRUE(client.Connect(account, password_).ok());
  ImapFolderState state;
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  std::vector<std::uint32_t> uids;
  ASSERT_TRUE(client.SearchUidsFrom(1, &uids).ok());
  int delivered = 0;
  const ImapResult cut = client.Fetch(uids, kFetchContent, [&](ImapMessage&) {
    ++delivered;
    return true;
  });
  EXPECT_EQ(cut.status, ImapStatus::kNetwork) << cut.text;
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(client.Noop().status, ImapStatus::kNetwork);

  proxy.CutAfter(0, 0);
  ASSERT_TRUE(client.Connect(account, password_).ok());
  ASSERT_TRUE(client.Select("INBOX", false, &state).ok());
  delivered = 0;
  ASSERT_TRUE(client
                  .Fetch(uids, kFetchContent,
                         [&](ImapMessage&) {
                           ++delivered;
                           return true;
                         })
                  .ok());
  EXPECT_EQ(delivered, 20);
}

TEST_F(ImapClientTest, ARestartedServerIsConnectedAgainAfterBackingOff) {
  server_.Stop();
  ImapClient client;
  ReconnectBackoff backoff(std::chrono::milliseconds(50), std::chrono::milliseconds(200), 3);
  int waits = 0;
  std::string why;
  const ImapResult result =
      ConnectWithRetries(client, server_.Account(), password_, backoff, [&](auto wait) {
        // The server comes back during the second wait.
        if (++waits == 2) {
          EXPECT_TRUE(server_.Restart(&why)) << why;
        }
        usleep(static_cast<useconds_t>(std::chrono::microseconds(wait).count()));
        return true;
      });
  ASSERT_TRUE(result.ok()) << result.text;
  EXPECT_EQ(waits, 2);
  ImapFolderState state;
  EXPECT_TRUE(client.Select("INBOX", false, &state).ok());
}

INSTANTIATE_TEST_SUITE_P(Dovecot, ImapCapabilityTest,
                         ::testing::Values(DovecotOptions{true, true}, DovecotOptions{false, true},
                                           DovecotOptions{true, false}),
                         [](const ::testing::TestParamInfo<DovecotOptions>& info) {
                           return std::string(info.param.idle ? "Idle" : "NoIdle") +
                                  (info.param.move_and_uidplus ? "MoveUidplus" : "NoMoveUidplus");
                         });

}  // namespace
}  // namespace varnox

// `varnox watch imap:NAME` end to end against a real Dovecot on loopback:
// the program runs in the background as a user runs it, mail is delivered by
// APPEND from another connection, and the test looks at the folders on the
// server and at what the program printed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "linux/imap/imap_client.h"
#include "linux/imap/password_source.h"
#include "tests/imap/dovecot_server.h"
#include "tests/linux/varnox_command_fixture.h"

namespace varnox {
namespace {

using testing::Count;
using testing::DovecotOptions;
using testing::DovecotServer;
using testing::Outcome;
namespace fs = std::filesystem;

// "привет" (Cyrillic), encoded: non-English, so spam on an untrained filter.
constexpr const char* kForeignSubject = "=?utf-8?B?0L/RgNC40LLQtdGC?=";

std::string Mail(const std::string& subject, const std::string& body) {
  return "Received: from mx.example by mail.example\r\nFrom: Ann <ann@example.org>\r\n"
         "To: me@example.org\r\nSubject: " +
         subject + "\r\n\r\n" + body;
}

struct Stored {
  std::vector<std::string> flags;
  std::optional<ImapDate> date;
  std::string content;
};

class VarnoxImapTest : public testing::VarnoxCommandTest {
 protected:
  virtual DovecotOptions Options() const { return {}; }
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    std::string why;
    if (!server_.Start(Options(), &why))
      GTEST_SKIP() << why;
    std::string error;
    ASSERT_TRUE(ReadAccountPassword(server_.Account(), &password_, &error)) << error;
    ASSERT_EQ(Varnox({"init"}).status, 0);
    const ImapAccount account = server_.Account();
    std::ofstream(home / ".config/varnox/accounts.ini")
        << "[account test]\nserver = " << account.server << "\nport = " << account.port
        << "\nuser = " << account.user << "\nca-file = " << account.ca_file
        << "\npassword-file = " << account.password_file << "\npoll-seconds = 10\n";
  }

  void StartWatch() {
    ASSERT_GT(Start({"watch", "imap:test"}), 0);
    ASSERT_TRUE(WaitFor([&] { return Stderr().find("Ctrl-C") != std::string::npos; })) << Stderr();
  }
  std::string Stderr() const { return testing::Slurp(home / "background.err"); }
  bool Printed(std::size_t lines) {
    return WaitFor([&] { return Count(BackgroundOutput(), "\n") >= lines; });
  }

  ImapClient& Client() {
    if (!client_.connected()) {
      const ImapResult result = client_.Connect(server_.Account(), password_);
      EXPECT_TRUE(result.ok()) << result.text << "\n" << server_.Log();
    }
    return client_;
  }
  void Deliver(const std::string& text, const std::vector<std::string>& flags,
               const ImapDate& date) {
    std::uint32_t uid = 0;
    const ImapResult result = Client().Append("INBOX", text, flags, date, &uid);
    ASSERT_TRUE(result.ok()) << result.text;
  }
  // The messages of a folder, by UID.
  std::map<std::uint32_t, Stored> Folder(const std::string& wire) {
    std::map<std::uint32_t, Stored> found;
    ImapFolderState state;
    std::vector<std::uint32_t> uids;
    if (!Client().Select(wire, true, &state).ok() || !Client().SearchUidsFrom(1, &uids).ok())
      return found;
    Client().Fetch(uids, kFetchFlags | kFetchInternalDate | kFetchContent, [&](ImapMessage& m) {
      found[m.uid] = {m.flags, m.internal_date, m.content};
      return true;
    });
    return found;
  }

  DovecotServer server_;
  SecretText password_;
  ImapClient client_;
};

// What depends on the server's capabilities runs with IDLE, MOVE and
// UIDPLUS offered, and with none of them.
class VarnoxImapWatchTest : public VarnoxImapTest,
                            public ::testing::WithParamInterface<DovecotOptions> {
 protected:
  DovecotOptions Options() const override { return GetParam(); }
};

bool HasFlag(const Stored& message, const std::string& flag) {
  return std::find(message.flags.begin(), message.flags.end(), flag) != message.flags.end();
}

TEST_P(VarnoxImapWatchTest, NewMailIsJudgedOnceStampedAndSpamMovedAcrossRestarts) {
  const ImapDate first_date{2024, 3, 5, 10, 20, 30, 100};
  const ImapDate second_date{2024, 3, 6, 8, 0, 0, -500};
  StartWatch();
  Deliver(Mail("Lunch", "Shall we meet at noon?\r\n"), {"\\Flagged"}, first_date);
  Deliver(Mail(kForeignSubject, "plain words\r\n"), {"\\Answered"}, second_date);
  if (!Printed(2)) {
    for (const char* f : {"INBOX", "SpamFilter"})
      for (auto& [uid, m] : Folder(f))
        ADD_FAILURE() << f << " " << uid << "\n" << m.content;
    FAIL() << BackgroundOutput() << Stderr();
  }
  Outcome run = Stop();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Inbox: \"Lunch\" NotSpam, score "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Non English Spam -> SpamFilter"), std::string::npos) << run.out;

  auto inbox = Folder("INBOX");
  ASSERT_EQ(inbox.size(), 1u);
  const Stored& good = inbox.begin()->second;
  EXPECT_EQ(Count(good.content, "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:"), 1u) << good.content;
  EXPECT_NE(good.content.find("\r\n\r\nShall we meet at noon?\r\n"), std::string::npos);
  EXPECT_TRUE(HasFlag(good, "\\Flagged"));
  // The server keeps the instant, not the zone it was written in.
  ASSERT_TRUE(good.date);
  EXPECT_EQ(ImapDateToUnixTime(*good.date), ImapDateToUnixTime(first_date));
  auto spam = Folder("SpamFilter");
  ASSERT_EQ(spam.size(), 1u);
  const Stored& bad = spam.begin()->second;
  EXPECT_EQ(Count(bad.content, "X-VNX-RESULT:Non English Spam\r\n"), 1u) << bad.content;
  EXPECT_TRUE(HasFlag(bad, "\\Answered"));
  ASSERT_TRUE(bad.date);
  EXPECT_EQ(ImapDateToUnixTime(*bad.date), ImapDateToUnixTime(second_date));

  // Mail that arrives while watch is stopped is judged at its start, once;
  // what was judged before is not judged again.
  Deliver(Mail("Tea", "At four?\r\n"), {}, first_date);
  StartWatch();
  ASSERT_TRUE(Printed(1)) << BackgroundOutput() << Stderr();
  // Waits for the next poll or news, which would show a second judgement.
  Deliver(Mail("Dinner", "At eight?\r\n"), {}, first_date);
  ASSERT_TRUE(Printed(2)) << BackgroundOutput() << Stderr();
  run = Stop();
  EXPECT_EQ(Count(run.out, "\n"), 2u) << run.out;
  EXPECT_EQ(Count(run.out, "\"Tea\" NotSpam"), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "\"Dinner\" NotSpam"), 1u) << run.out;
  inbox = Folder("INBOX");
  EXPECT_EQ(inbox.size(), 3u);
  for (const auto& [uid, message] : inbox)
    EXPECT_EQ(Count(message.content, "X-VNX-RESULT:"), 1u) << message.content;
  EXPECT_EQ(Folder("SpamFilter").size(), 1u);
}

// A refused password stops the account at once, with the reason, and it
// is not tried again: the server sees one login, watch goes on running.
TEST_F(VarnoxImapTest, ARefusedPasswordStopsTheAccountWithoutTryingAgain) {
  const fs::path wrong = home / "wrong.password";
  std::ofstream(wrong) << "not the password\n";
  fs::permissions(wrong, fs::perms::owner_read | fs::perms::owner_write);
  std::string file = testing::Slurp(home / ".config/varnox/accounts.ini");
  file.replace(file.find("password-file = "), std::string::npos,
               "password-file = " + wrong.string() + "\n");
  std::ofstream(home / ".config/varnox/accounts.ini") << file;
  StartWatch();
  ASSERT_TRUE(WaitFor([&] { return Stderr().find("stopped: ") != std::string::npos; })) << Stderr();
  // The first retry would come after a second.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const Outcome run = Stop();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(run.err, "stopped: "), 1u) << run.err;
  EXPECT_EQ(run.err.find("not the password"), std::string::npos) << run.err;
  EXPECT_EQ(Count(server_.Log(), "auth failed"), 1u) << server_.Log();
}

INSTANTIATE_TEST_SUITE_P(Capabilities, VarnoxImapWatchTest,
                         ::testing::Values(DovecotOptions{true, true},
                                           DovecotOptions{false, false}),
                         [](const auto& info) {
                           return std::string(info.param.idle ? "Idle" : "Polling") +
                                  (info.param.move_and_uidplus ? "" : "NoMoveNoUidplus");
                         });

}  // namespace
}  // namespace varnox

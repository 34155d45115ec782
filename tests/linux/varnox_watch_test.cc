// `varnox watch` end to end on temporary Maildirs: the program runs in the
// background as a user runs it, mail is delivered as a delivery agent
// delivers it (written in tmp/, renamed into new/), and the test looks at
// the files and at what the program printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "linux/watch/database_lock.h"
#include "linux/watch/watch_journal.h"
#include "mime/mime_reader.h"
#include "platform/file_system.h"
#include "tests/linux/varnox_command_fixture.h"

namespace varnox {
namespace {

using testing::Count;
using testing::Outcome;
using testing::Slurp;
namespace fs = std::filesystem;

// "привет" (Cyrillic), encoded: non-English, so spam on an untrained filter.
constexpr const char* kForeignSubject = "=?utf-8?B?0L/RgNC40LLQtdGC?=";

std::string Mail(const std::string& from, const std::string& subject, const std::string& body) {
  return "Received: from mx.example by mail.example\nFrom: " + from + "\nTo: me@example.org\n" +
         "Subject: " + subject + "\n\n" + body;
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class VarnoxWatchTest : public testing::VarnoxCommandTest {
 protected:
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    ASSERT_EQ(Varnox({"init"}).status, 0);
    maildir = home / "Maildir";
    for (const char* sub : {"cur", "new", "tmp"})
      fs::create_directories(maildir / sub);
  }

  // Delivers `text` into `folder`'s new/ as a delivery agent does.
  static void Deliver(const fs::path& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder / "tmp" / name, std::ios::binary) << text;
    fs::rename(folder / "tmp" / name, folder / "new" / name);
  }
  // Starts watch on the Maildir and waits until it watches.
  void StartWatch(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"watch", maildir.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_GT(Start(args), 0);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(maildir / ".SpamFilter/new"); }));
    // The spam folder exists once InitMAPI ran; the watches are set just
    // after. A message delivered now is seen live or by the catch-up.
  }
  bool Printed(std::size_t lines) {
    return WaitFor([&] { return Count(BackgroundOutput(), "\n") >= lines; });
  }
  fs::path Spam() const { return maildir / ".SpamFilter"; }

  fs::path maildir;
};

TEST_F(VarnoxWatchTest, DeliveryIsJudgedStampedAndSpamMoved) {
  StartWatch();
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "Lunch", "Shall we meet at noon?\n"));
  Deliver(maildir, "2.host", Mail("Ivan <ivan@example.ru>", kForeignSubject, "plain words\n"));
  ASSERT_TRUE(Printed(2)) << BackgroundOutput();
  const Outcome run = Stop();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Inbox: \"Lunch\" NotSpam, score "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Inbox: \"\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2"
                         "\xE2\x80\xA2\" Non English Spam -> SpamFilter"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("Stopped. Judged 2 messages, 1 moved to SpamFilter."), std::string::npos)
      << run.err;

  const std::string clean = Slurp(maildir / "new/1.host");
  EXPECT_EQ(Count(clean, "X-VNX-RESULT:NotSpam\nX-VNX-SCORE:"), 1u) << clean;
  EXPECT_NE(clean.find("\n\nShall we meet at noon?\n"), std::string::npos) << clean;
  EXPECT_EQ(Names(Spam() / "new"), std::vector<std::string>{"2.host"});
  EXPECT_EQ(Count(Slurp(Spam() / "new/2.host"), "X-VNX-RESULT:Non English Spam\n"), 1u);
  EXPECT_TRUE(fs::exists(Data("words.db"))) << "saved at the stop";
}

TEST_F(VarnoxWatchTest, ListsChangedByTheCommandCountFromTheNextMessage) {
  StartWatch({"--quiet"});
  ASSERT_EQ(Varnox({"whitelist", "add", "ivan@example.ru"}).status, 0);
  ASSERT_EQ(Varnox({"blacklist", "add", "@spam.example"}).status, 0);
  Deliver(maildir, "w.host", Mail("Ivan <ivan@example.ru>", kForeignSubject, "hello\n"));
  Deliver(maildir, "b.host", Mail("Joe <joe@spam.example>", "Hello", "words\n"));
  ASSERT_TRUE(WaitFor([&] { return fs::exists(Spam() / "new/b.host"); }));
  const Outcome run = Stop();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "") << "--quiet";
  EXPECT_EQ(Slurp(maildir / "new/w.host"),
            Mail("Ivan <ivan@example.ru>", kForeignSubject, "hello\n"))
      << "a white-listed sender's mail is left as it came";
  EXPECT_NE(Slurp(Spam() / "new/b.host").find("joe@spam.example Domain is in BlackList\n"),
            std::string::npos);
}

// A black-listed message's line tells the list's note as it is, even when
// the sender's address looks like a verdict: the line was once read back
// from the text appended to the headers, and told "Spam@x.example Domain
// is in BlackList" as if it were a verdict.
TEST_F(VarnoxWatchTest, ABlackListLineTellsTheNoteOfAnAddressThatLooksLikeAVerdict) {
  ASSERT_EQ(Varnox({"blacklist", "add", "@x.example"}).status, 0);
  StartWatch();
  Deliver(maildir, "f.host", Mail("<X-VNX-RESULT:Spam@x.example>", "Hello", "words\n"));
  ASSERT_TRUE(Printed(1)) << BackgroundOutput();
  const Outcome run = Stop();
  EXPECT_EQ(run.out,
            "Inbox: \"Hello\" black list: X-VNX-RESULT:Spam@x.example Domain is in BlackList -> "
            "SpamFilter\n");
}

TEST_F(VarnoxWatchTest, ANewTopLevelFolderIsWatched) {
  StartWatch();
  const fs::path work = maildir / ".Work";
  fs::create_directory(work);
  for (const char* sub : {"tmp", "cur", "new"})
    fs::create_directory(work / sub);
  Deliver(work, "1.host", Mail("Ann <ann@example.org>", "Report", "numbers\n"));
  ASSERT_TRUE(Printed(1)) << BackgroundOutput();
  const Outcome run = Stop();
  EXPECT_NE(run.out.find("Work: \"Report\" NotSpam"), std::string::npos) << run.out;
  EXPECT_EQ(Count(Slurp(work / "new/1.host"), "X-VNX-RESULT:"), 1u);
}

TEST_F(VarnoxWatchTest, MailThatArrivedWhileNothingWatchedIsJudgedOnceAtStart) {
  Deliver(maildir, "old.host", Mail("Ann <ann@example.org>", "Before", "earlier\n"));
  Deliver(maildir, "seen.host",
          "Received: by mx\nX-VNX-RESULT:NotSpam\nSubject: Stamped\n\nseen\n");
  StartWatch();
  ASSERT_TRUE(Printed(1)) << BackgroundOutput();
  Outcome run = Stop();
  EXPECT_EQ(run.out.find("Stamped"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Inbox: \"Before\" NotSpam"), std::string::npos) << run.out;

  // A second start finds nothing new to judge.
  StartWatch();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  run = Stop();
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Count(Slurp(maildir / "new/old.host"), "X-VNX-RESULT:"), 1u);
}

TEST_F(VarnoxWatchTest, ABurstOfDeliveriesIsJudgedExactlyOnce) {
  constexpr int kMessages = 2000;
  StartWatch();
  for (int i = 0; i < kMessages; ++i) {
    Deliver(maildir, std::to_string(i) + ".burst",
            Mail("Ann <ann@example.org>", "Note " + std::to_string(i), "text\n"));
  }
  ASSERT_TRUE(WaitFor([&] { return Count(BackgroundOutput(), "\n") >= kMessages; }, 300))
      << Count(BackgroundOutput(), "\n") << " judged";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // nothing more comes
  const Outcome run = Stop();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(run.out, "\n"), static_cast<std::size_t>(kMessages));
  const std::vector<std::string> names = Names(maildir / "new");
  ASSERT_EQ(names.size(), static_cast<std::size_t>(kMessages));
  int stamped_once = 0;
  for (const std::string& name : names)
    stamped_once += Count(Slurp(maildir / "new" / name), "X-VNX-RESULT:") == 1 ? 1 : 0;
  EXPECT_EQ(stamped_once, kMessages);
  EXPECT_TRUE(Names(maildir / "tmp").empty()) << "no rewrite left behind";
}

TEST_F(VarnoxWatchTest, WhileWatchRunsItChangesTheDatabaseForOthers) {
  StartWatch();
  fs::create_directory(home / "mail");
  std::ofstream(home / "mail/m") << "Subject\nwords\n";
  Outcome run = Varnox({"learn", "--spam", (home / "mail/m").string()});
  EXPECT_EQ(run.status, 0) << run.err << "performed by the watch (varnox_request_test.cc)";
  EXPECT_EQ(Varnox({"classify", (home / "mail/m").string()}).status, 0);
  run = Stop(SIGINT);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Varnox({"learn", "--spam", (home / "mail/m").string()}).status, 0)
      << "the lock goes with the process";
}

TEST_F(VarnoxWatchTest, ItSpeaksOfVarnoxAndMaildirFolders) {
  StartWatch();
  ASSERT_TRUE(
      WaitFor([&] { return Slurp(home / "background.err").find("Ctrl-C") != std::string::npos; }));
  Outcome run = Stop();
  EXPECT_NE(run.err.find("(1 folder); Ctrl-C stops."), std::string::npos) << run.err;

  // A plain file where the spam folder goes.
  fs::remove_all(Spam());
  std::ofstream(Spam()) << "not a folder";
  run = Varnox({"watch", maildir.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Varnox: cannot make the folder SpamFilter (.SpamFilter in the first "
                         "store)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("OUTLOOK"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("MAPI"), std::string::npos) << run.err;
}

TEST_F(VarnoxWatchTest, AListFileThatCannotBeReadIsWarnedAboutAtStart) {
  std::ofstream(Data("whitelist.xml"), std::ios::trunc) << "<WhiteList><Address>";
  StartWatch();
  ASSERT_TRUE(
      WaitFor([&] { return Slurp(home / "background.err").find("Ctrl-C") != std::string::npos; }));
  const Outcome run = Stop();
  EXPECT_NE(run.err.find("varnox: warning: the white list file " + Data("whitelist.xml").string() +
                         " cannot be read or is not a list file"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("black list"), std::string::npos) << run.err;
}

TEST_F(VarnoxWatchTest, StoresThatAreNoMaildirAreRefused) {
  fs::create_directory(home / "plain");
  Outcome run = Varnox({"watch", (home / "plain").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is not a Maildir"), std::string::npos) << run.err;
  run = Varnox({"watch", maildir.string(), maildir.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is named twice"), std::string::npos) << run.err;
}

TEST_F(VarnoxWatchTest, WithoutStoresTheHomeMaildirIsMadeAndWatched) {
  fs::remove_all(maildir);
  ASSERT_GT(Start({"watch"}), 0);
  ASSERT_TRUE(WaitFor([&] { return fs::exists(Spam() / "new"); }));
  EXPECT_TRUE(fs::is_directory(maildir / "tmp"));
  const Outcome run = Stop();
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("Made the empty Maildir " + maildir.string()), std::string::npos)
      << run.err;
}

// What watch did is kept in a journal per store, which the next start reads.
class VarnoxWatchJournalTest : public VarnoxWatchTest {
 protected:
  fs::path JournalFile() const {
    return watch::WatchJournal::PathFor(Data("journal").string(), fs::canonical(maildir).string());
  }
  // Starts watch and waits until its catch-up is over (its watermark written).
  void StartAndCatchUp(std::vector<std::string> extra = {}) {
    const std::size_t marks = Count(Slurp(JournalFile()), "\nW ");
    StartWatch(std::move(extra));
    ASSERT_TRUE(WaitFor([&] { return Count(Slurp(JournalFile()), "\nW ") > marks; }));
  }
  // One start and stop with an empty Maildir: the journal has a watermark.
  void WatchOnce() {
    StartAndCatchUp();
    ASSERT_EQ(Stop().status, 0);
  }
};

TEST_F(VarnoxWatchJournalTest, MailAClientMovedToCurWhileStoppedIsJudged) {
  WatchOnce();
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "Read early", "seen by a client\n"));
  fs::rename(maildir / "new/1.host", maildir / "cur/1.host:2,S");
  StartAndCatchUp();
  const Outcome run = Stop();
  EXPECT_NE(run.out.find("Inbox: \"Read early\" NotSpam"), std::string::npos) << run.out;
  EXPECT_EQ(Count(Slurp(maildir / "cur/1.host:2,S"), "X-VNX-RESULT:"), 1u);
}

// Not Spam done while watch is stopped holds at its next start: the command's
// own session records the message in the journal as handled.
TEST_F(VarnoxWatchJournalTest, MailNotSpamMovedBackWhileStoppedStaysAtTheNextStart) {
  StartAndCatchUp();
  Deliver(maildir, "1.host", Mail("Ivan <ivan@example.ru>", kForeignSubject, "hello\n"));
  ASSERT_TRUE(WaitFor([&] { return Count(BackgroundOutput(), "-> SpamFilter") == 1; }));
  ASSERT_EQ(Stop().status, 0);
  fs::rename(Spam() / "new/1.host", Spam() / "cur/1.host:2,S");  // read in a client
  const Outcome moved = Varnox({"not-spam", "--to", "Inbox", (Spam() / "cur/1.host:2,S").string()});
  ASSERT_EQ(moved.status, 0) << moved.err;
  StartAndCatchUp();
  const Outcome run = Stop();
  EXPECT_EQ(run.out, "") << "nothing judged or moved again";
  EXPECT_EQ(Names(maildir / "cur"), std::vector<std::string>{"1.host:2,S"});
  EXPECT_TRUE(Names(Spam() / "cur").empty());
}

TEST_F(VarnoxWatchJournalTest, AWhiteListedMessageIsLearnedOnceOverRestarts) {
  ASSERT_EQ(Varnox({"settings", "set", "LearnFromWhiteListed", "on"}).status, 0);
  ASSERT_EQ(Varnox({"whitelist", "add", "ann@example.org"}).status, 0);
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "Hello", "from a friend\n"));
  for (int start = 0; start < 3; ++start) {
    StartAndCatchUp();
    ASSERT_EQ(Stop().status, 0);
    EXPECT_NE(Varnox({"stats"}).out.find("Good messages   1\n"), std::string::npos)
        << "after start " << start;
  }
  EXPECT_EQ(Slurp(maildir / "new/1.host"),
            Mail("Ann <ann@example.org>", "Hello", "from a friend\n"));
}

TEST_F(VarnoxWatchJournalTest, AForgedVerdictOnMailDeliveredWhileStoppedIsNoShield) {
  WatchOnce();
  Deliver(maildir, "1.host",
          "Received: by mx\nX-VNX-RESULT:NotSpam\nSubject: " + std::string(kForeignSubject) +
              "\n\nhello\n");
  StartAndCatchUp();
  const Outcome run = Stop();
  EXPECT_NE(run.out.find("Non English Spam -> SpamFilter"), std::string::npos) << run.out;
  EXPECT_EQ(Names(Spam() / "new"), std::vector<std::string>{"1.host"});
  EXPECT_EQ(Slurp(Spam() / "new/1.host"),
            "Received: by mx\nSubject: " + std::string(kForeignSubject) +
                "\nX-VNX-RESULT:Non English Spam\n\nhello\n")
      << "the sender's verdict is gone";
}

TEST_F(VarnoxWatchJournalTest, AMoveLeftUndoneByAKilledWatchIsFinishedAtStart) {
  WatchOnce();
  // Killed after the stamp, before the move: the journal holds the promise.
  const std::string stamped =
      "Received: by mx\nSubject: Pills\n"
      "X-VNX-RESULT:Spam\nX-VNX-SCORE:99\nX-VNX-TOP-WORDS:\n\ncheap\n";
  Deliver(maildir, "1.host", stamped);
  {
    watch::WatchJournal::Opened how;
    auto journal = watch::WatchJournal::Open(RealFileSystem(), Data("journal").string(),
                                             fs::canonical(maildir).string(), &how);
    ASSERT_NE(journal, nullptr);
    ASSERT_EQ(how, watch::WatchJournal::Opened::kRead);
    journal->RecordMovePending("1.host", watch::JournalNow());
  }
  StartAndCatchUp();
  const Outcome run = Stop();
  EXPECT_NE(run.out.find("1.host -> SpamFilter (its move was left undone at the last stop)"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(Names(Spam() / "new"), std::vector<std::string>{"1.host"});
  EXPECT_EQ(Slurp(Spam() / "new/1.host"), stamped) << "moved as it was, not judged again";
  EXPECT_TRUE(Names(maildir / "new").empty());
}

TEST_F(VarnoxWatchJournalTest, ADamagedJournalIsRebuiltWithAWarning) {
  WatchOnce();
  std::ofstream(JournalFile(), std::ios::binary | std::ios::app) << "D not-a-time x\n";
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "After", "words\n"));
  StartWatch();
  ASSERT_TRUE(Printed(1)) << BackgroundOutput();
  const Outcome run = Stop();
  EXPECT_NE(run.err.find("was damaged and starts afresh"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("Inbox: \"After\" NotSpam"), std::string::npos)
      << "as at a first start: unstamped mail in new/ is judged";
  EXPECT_EQ(Slurp(JournalFile()).find("not-a-time"), std::string::npos);
}

using VarnoxToolbarCommandsTest = VarnoxWatchTest;

TEST_F(VarnoxToolbarCommandsTest, MarkSpamTeachesAndMovesWhatCanBeTaught) {
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "Offer", "cheap pills\n"));
  Deliver(maildir, "sent.host", "From: me@example.org\nSubject: Sent\n\nmine\n");
  const Outcome run = Varnox(
      {"mark-spam", (maildir / "new/1.host").string(), (maildir / "new/sent.host").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Marked 1 of 2 messages as spam"), std::string::npos) << run.err;
  EXPECT_EQ(Names(Spam() / "new"), std::vector<std::string>{"1.host"});
  EXPECT_EQ(Names(maildir / "new"), std::vector<std::string>{"sent.host"})
      << "no transport headers: neither taught nor moved";
  EXPECT_NE(Varnox({"stats"}).out.find("Spam messages   1\n"), std::string::npos);

  Outcome bad = Varnox({"mark-spam", (home / "nowhere").string()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("cannot read"), std::string::npos) << bad.err;
  std::ofstream(home / "saved.eml") << Mail("Ann <ann@example.org>", "Offer", "pills\n");
  for (const auto& [command, learn] : {std::pair{"mark-spam", "varnox learn --spam FILE"},
                                       std::pair{"not-spam", "varnox learn --good FILE"}}) {
    bad = Varnox({command, (home / "saved.eml").string()});
    EXPECT_EQ(bad.status, 1) << command;
    EXPECT_NE(bad.err.find("is not a message in the new/ or cur/ folder of a Maildir; to teach "
                           "the filter a message kept elsewhere, use `" +
                           std::string(learn) + "`"),
              std::string::npos)
        << bad.err;
  }
}

TEST_F(VarnoxToolbarCommandsTest, NotSpamBringsMailBackToTheInboxWhereItStays) {
  fs::create_directories(Spam() / "new");
  for (const char* sub : {"cur", "tmp"})
    fs::create_directories(Spam() / sub);
  Deliver(Spam(), "1.host", Mail("Ann <ann@example.org>", "Lunch", "at noon\n"));
  Deliver(Spam(), "2.host", Mail("Ivan <ivan@example.ru>", kForeignSubject, "hello\n"));
  const std::vector<std::string> messages = {(Spam() / "new/1.host").string(),
                                             (Spam() / "new/2.host").string()};

  // Nobody to ask where good mail goes: taught, left where they are.
  std::vector<std::string> args = {"not-spam"};
  args.insert(args.end(), messages.begin(), messages.end());
  Outcome run = Varnox(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Select Maildir Folder: not shown"), std::string::npos) << run.err;
  EXPECT_EQ(Names(Spam() / "new"), (std::vector<std::string>{"1.host", "2.host"}));

  args = {"not-spam", "--to", "inbox", "--remember"};
  args.insert(args.end(), messages.begin(), messages.end());
  run = Varnox(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Moved 2 messages out of SpamFilter."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Varnox: Learning Complete"), std::string::npos) << run.err;
  // Back in the Inbox, neither is judged again: the one in another script,
  // which the filter would call spam, stays where the user put it.
  EXPECT_EQ(run.out.find("Inbox: "), std::string::npos) << run.out;
  EXPECT_EQ(Names(maildir / "new"), (std::vector<std::string>{"1.host", "2.host"}));
  EXPECT_EQ(Count(Slurp(maildir / "new/2.host"), "X-VNX-RESULT:"), 0u);
  EXPECT_TRUE(Names(Spam() / "new").empty());
  EXPECT_NE(Varnox({"status"}).out.find("NotSpamFolderName       Inbox"), std::string::npos)
      << "remembered";

  Deliver(Spam(), "3.host", Mail("Ivan <ivan@example.ru>", kForeignSubject, "again\n"));
  run = Varnox({"not-spam", "--to", "Nowhere", (Spam() / "new/3.host").string()});
  EXPECT_EQ(run.status, 0) << "NotSpamFolderName answers: the dialog is not shown";
}

TEST_F(VarnoxToolbarCommandsTest, TrainLearnsTheFoldersNamed) {
  const fs::path junk = maildir / ".Junk";
  for (const char* sub : {"cur", "new", "tmp"})
    fs::create_directories(junk / sub);
  for (int i = 0; i < 6; ++i) {
    Deliver(junk, "s" + std::to_string(i),
            Mail("S <s@spam.example>", "Cheap pills", "buy cheap pills offer now\n"));
    Deliver(maildir, "g" + std::to_string(i),
            Mail("Ann <ann@example.org>", "Meeting", "project meeting agenda\n"));
  }
  Outcome run = Varnox({"train", "--spam", "junk", "--good", "Inbox", maildir.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Training from Inbox: 6/6 messages"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Training from Junk: 6/6 messages"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Learning Complete"), std::string::npos) << run.err;
  EXPECT_NE(Varnox({"stats"}).out.find("Spam messages   6\nGood messages   6\n"),
            std::string::npos);

  // The mail learned is now told apart.
  input = Mail("X <x@example.net>", "Cheap pills", "cheap pills offer\n");
  run = Varnox({"classify", "-"});
  EXPECT_NE(run.out.find("-: Spam, score "), std::string::npos) << run.out;

  run = Varnox({"train", "--spam", "Nope", maildir.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no top-level folder 'Nope'; nothing was learned. The folders are: "
                         "'Inbox' 'Junk' 'SpamFilter'"),
            std::string::npos)
      << run.err;
  run = Varnox({"train", maildir.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("say which folders"), std::string::npos) << run.err;

  run = Varnox({"train", "--empty", maildir.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(Varnox({"stats"}).out.find("Words           0\n"), std::string::npos);
}

TEST_F(VarnoxToolbarCommandsTest, TrainSaysWhatItCouldNotRead) {
  const fs::path junk = maildir / ".Junk";
  for (const char* sub : {"cur", "new", "tmp"})
    fs::create_directories(junk / sub);
  for (int i = 0; i < 4; ++i)
    Deliver(junk, "s" + std::to_string(i), Mail("S <s@spam.example>", "Pills", "cheap pills\n"));
  // A link is never followed into a message: it cannot be read as one.
  fs::create_symlink(junk / "new/s0", junk / "cur/link:2,S");
  Outcome run = Varnox({"train", "--spam", "Junk", maildir.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("4 of 5 learned, 1 unreadable: " + (junk / "cur/link:2,S").string()),
            std::string::npos)
      << run.err;
  EXPECT_NE(Varnox({"stats"}).out.find("Spam messages   4\n"), std::string::npos)
      << "what could be read is saved";

  fs::remove(junk / "cur/link:2,S");
  run = Varnox({"train", "--good", "Inbox", "--spam", "Junk", maildir.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("4 of 4 learned\n"), std::string::npos) << run.err;

  run = Varnox({"train", "--spam", "junk", "--good", "JUNK", maildir.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("'junk' is named both as spam and as good mail"), std::string::npos)
      << run.err;

  if (::geteuid() != 0) {  // root reads anyway
    fs::permissions(junk / "cur", fs::perms::none);
    run = Varnox({"train", "--spam", "Junk", maildir.string()});
    fs::permissions(junk / "cur", fs::perms::owner_all);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot read the folder " + (junk / "cur").string()), std::string::npos)
        << run.err;
  }
  EXPECT_NE(Varnox({"train", "--help"}).out.find("Training the same messages twice counts them"),
            std::string::npos);
}

// What each row of the command table declares, seen from outside: while
// another process holds the word database, every command that writes it is
// refused before it changes anything, and every command that only reads it
// still works.
TEST_F(VarnoxToolbarCommandsTest, TheWordDatabaseLockIsTakenByExactlyTheCommandsThatWriteIt) {
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "Offer", "cheap pills\n"));
  const std::string message = (maildir / "new/1.host").string();
  ASSERT_EQ(Varnox({"learn", "--good", message}).status, 0);
  const std::string words = Slurp(Data("words.db"));
  std::string refusal;
  auto lock = watch::DatabaseLock::Take(Data("words.db").string(), "varnox watch", &refusal);
  ASSERT_NE(lock, nullptr) << refusal;
  const std::vector<std::vector<std::string>> writers = {
      {"mark-spam", message},         {"not-spam", message},
      {"learn", "--spam", message},   {"train", "--spam", "Inbox", maildir.string()},
      {"--yes", "settings", "empty"}, {"watch", maildir.string()},
  };
  for (const std::vector<std::string>& args : writers) {
    const Outcome run = Varnox(args);
    EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
    EXPECT_NE(run.err.find("is in use by `varnox watch`"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Slurp(Data("words.db")), words);
  EXPECT_EQ(Names(maildir / "new"), std::vector<std::string>{"1.host"});
  const std::vector<std::vector<std::string>> readers = {
      {"classify", message}, {"stats"}, {"settings", "show"}, {"blacklist", "list"}};
  for (const std::vector<std::string>& args : readers) {
    const Outcome run = Varnox(args);
    EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
  }
}

TEST_F(VarnoxToolbarCommandsTest, HeadersShowsTheTransportHeaders) {
  Deliver(maildir, "1.host", Mail("Ann <ann@example.org>", "Lunch", "at noon\n"));
  Deliver(maildir, "sent.host", "From: me@example.org\nSubject: Sent\n\nmine\n");
  Outcome run = Varnox({"headers", (maildir / "new/1.host").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Received: from mx.example by mail.example\nFrom: Ann <ann@example.org>\n"
            "To: me@example.org\nSubject: Lunch\n");
  run = Varnox({"headers", (maildir / "new/sent.host").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "") << "a message that did not come through transport has none";
  run =
      Varnox({"headers", (maildir / "new/1.host").string(), (maildir / "new/sent.host").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Please Select a single mail"), std::string::npos) << run.err;
  // A file that is not there is named as missing, not as a wrong place.
  run = Varnox({"headers", (maildir / "new/gone.host").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot read " + (maildir / "new/gone.host").string() +
                         ": No such file or directory"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(Spam())) << "headers makes nothing";
}

TEST_F(VarnoxToolbarCommandsTest, ClassifyStampsAMessageForADeliveryAgent) {
  // CR LF line ends stay CR LF; the body is kept byte for byte.
  const std::string body = "\r\nbody\r\n\xFF" + std::string(1, '\0') + "end";
  const std::string headers = "Received: by mx\r\nSubject: =?utf-8?B?0L/RgNC40LLQtdGC?=\r\n";
  input = headers + body;
  Outcome run = Varnox({"classify", "--stamp"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, headers + "X-VNX-RESULT:Non English Spam\r\n" + body);
  // A verdict the sender wrote goes; ours is the only one.
  input =
      "Received: by mx\r\nX-VNX-RESULT: NotSpam\r\nX-VNX-SCORE:0\r\n"
      "Subject: =?utf-8?B?0L/RgNC40LLQtdGC?=\r\n" +
      body;
  run = Varnox({"classify", "--stamp"});
  EXPECT_EQ(run.out, headers + "X-VNX-RESULT:Non English Spam\r\n" + body);
  input = "no headers at all\n";
  run = Varnox({"classify", "--stamp"});
  EXPECT_EQ(run.out.rfind("X-VNX-RESULT:NotSpam\nX-VNX-SCORE:", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\n\nno headers at all\n"), std::string::npos) << run.out;
  EXPECT_EQ(Varnox({"classify", "--stamp", "a", "b"}).status, 1);
}

TEST_F(VarnoxToolbarCommandsTest, TheHostileCorpusIsJudgedAndStampedWithoutLoss) {
  const char* data = std::getenv("VARNOX_TEST_DATA");
  ASSERT_NE(data, nullptr) << "run by ctest, which names the test data";
  const fs::path corpus = fs::path(data) / "maildir";
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() == ".eml")
      files.push_back(entry.path());
  }
  ASSERT_GE(files.size(), 10u);
  std::vector<std::string> args = {"classify"};
  for (const fs::path& file : files)
    args.push_back(file.string());
  Outcome run = Varnox(args);
  EXPECT_EQ(run.status, 0) << run.err;
  for (const fs::path& file : files)
    EXPECT_NE(run.out.find(file.string() + ": "), std::string::npos) << file;

  for (const fs::path& file : files) {
    input = Slurp(file);
    if (input.empty())
      continue;  // the empty file: nothing to stamp into
    run = Varnox({"classify", "--stamp"});
    EXPECT_EQ(run.status, 0) << file << run.err;
    // The header block, the stamp, then every other byte as it was.
    const mime::HeaderBlock block = mime::FindHeaderBlock(input);
    EXPECT_EQ(run.out.substr(0, block.end), input.substr(0, block.end)) << file;
    const std::string rest = input.substr(block.end);
    ASSERT_GE(run.out.size(), input.size()) << file;
    EXPECT_EQ(run.out.substr(run.out.size() - rest.size()), rest) << file;
    EXPECT_NE(run.out.find("X-VNX-RESULT:", block.end), std::string::npos) << file;
  }
}

}  // namespace
}  // namespace varnox

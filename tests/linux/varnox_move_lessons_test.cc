// Learning from the user's own moves (LearnFromMoves): `varnox watch` end to
// end with a mail client's moves made on the Maildir itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "linux/watch/watch_journal.h"
#include "tests/linux/varnox_command_fixture.h"

namespace varnox {
namespace {

using testing::Count;
using testing::Outcome;
using testing::Slurp;
using watch::WatchJournal;
namespace fs = std::filesystem;

// `varnox watch` with a mail client moving messages in the Maildir as mutt
// does: a rename that keeps the name, or a copy under a new name.
class VarnoxMoveLessonsTest : public testing::VarnoxCommandTest {
 protected:
  void SetUp() override {
    VarnoxCommandTest::SetUp();
    ASSERT_EQ(Varnox({"init"}).status, 0);
    maildir = home / "Maildir";
    for (const fs::path& folder : {maildir, Spam()}) {
      for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(folder / sub);
    }
  }
  fs::path Spam() const { return maildir / ".SpamFilter"; }
  static void Deliver(const fs::path& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder / "tmp" / name, std::ios::binary) << text;
    fs::rename(folder / "tmp" / name, folder / "new" / name);
  }
  // A client's copy under a new name, then the original deleted.
  static void CopyAndDelete(const fs::path& from, const fs::path& to_folder,
                            const std::string& name) {
    const std::string text = Slurp(from);
    std::ofstream(to_folder / "tmp" / name, std::ios::binary) << text;
    fs::rename(to_folder / "tmp" / name, to_folder / "cur" / (name + ":2,S"));
    fs::remove(from);
  }
  void StartWatch() {
    ASSERT_GT(Start({"watch", maildir.string()}), 0);
    ASSERT_TRUE(WaitFor(
        [&] { return Slurp(home / "background.err").find("Ctrl-C") != std::string::npos; }));
  }
  bool Printed(std::string_view text) {
    return WaitFor([&] { return BackgroundOutput().find(text) != std::string::npos; });
  }
  std::string Stats() { return Varnox({"stats"}).out; }
  static std::string Mail(const std::string& subject, const std::string& body) {
    return "Received: by mx\nFrom: ann@example.org\nMessage-ID: <" + subject +
           "@example.org>\nSubject: " + subject + "\n\n" + body;
  }

  fs::path maildir;
};

TEST_F(VarnoxMoveLessonsTest, EachMoveIsTaughtOnceAndNothingElseIs) {
  ASSERT_EQ(Varnox({"settings", "set", "LearnFromMoves", "on"}).status, 0);
  StartWatch();
  Deliver(maildir, "1.host", Mail("Lunch", "shall we meet at noon\n"));
  Deliver(maildir, "2.host", Mail("Offer", "cheap watches offer\n"));
  ASSERT_TRUE(Printed("\"Offer\" NotSpam")) << BackgroundOutput();
  ASSERT_TRUE(Printed("\"Lunch\" NotSpam")) << BackgroundOutput();

  // Into SpamFilter by a rename (a flag added on the way): learned as spam.
  fs::rename(maildir / "new/2.host", Spam() / "cur/2.host:2,S");
  ASSERT_TRUE(Printed("SpamFilter: \"Offer\" moved into SpamFilter: learned as spam"))
      << BackgroundOutput();
  EXPECT_NE(Stats().find("Spam messages   1\nGood messages   0\n"), std::string::npos);
  // A flag change there and a delivery straight into SpamFilter teach nothing.
  fs::rename(Spam() / "cur/2.host:2,S", Spam() / "cur/2.host:2,FS");
  Deliver(Spam(), "3.host", Mail("Direct", "delivered here by a recipe\n"));
  Deliver(Spam(), "4.host", "Received: by mx\nX-VNX-LEARN:Spam\nSubject: Taught\n\nx\n");
  // Both seen there before the client takes them out again: a person is not
  // faster than the watch's own look at a delivery, and a message gone before
  // that look was never in SpamFilter for it.
  const fs::path journal =
      WatchJournal::PathFor(Data("journal").string(), fs::canonical(maildir).string());
  ASSERT_TRUE(WaitFor([&] {
    const std::string text = Slurp(journal);
    return text.find(" 3.host\n") != std::string::npos &&
           text.find(" 4.host\n") != std::string::npos;
  })) << Slurp(journal);

  // Out again as a copy under a new name: learned as good mail, not judged.
  CopyAndDelete(Spam() / "cur/2.host:2,FS", maildir, "5.client");
  ASSERT_TRUE(Printed("Inbox: \"Offer\" moved out of SpamFilter: learned as good mail"))
      << BackgroundOutput();
  // The delivery out of SpamFilter is a lesson too; the marked one is not.
  CopyAndDelete(Spam() / "new/3.host", maildir, "6.client");
  CopyAndDelete(Spam() / "new/4.host", maildir, "7.client");
  ASSERT_TRUE(Printed("Inbox: \"Direct\" moved out of SpamFilter")) << BackgroundOutput();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const Outcome run = Stop();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(run.out, "learned as"), 3u) << run.out;
  EXPECT_EQ(Count(run.out, "\"Offer\" NotSpam"), 1u) << "not judged again: " << run.out;
  EXPECT_EQ(Count(Slurp(maildir / "cur/5.client:2,S"), "X-VNX-RESULT:"), 1u);
  EXPECT_NE(Stats().find("Spam messages   1\nGood messages   2\n"), std::string::npos) << Stats();
}

// The same message delivered again while the first copy lies in SpamFilter
// (sent to two of the user's addresses) is a delivery: judged, and no lesson,
// with a Message-ID or without one (then the body alone matches).
TEST_F(VarnoxMoveLessonsTest, ASecondDeliveryOfTheSameMessageIsJudged) {
  ASSERT_EQ(Varnox({"settings", "set", "LearnFromMoves", "on"}).status, 0);
  StartWatch();
  const std::string foreign = "Subject: =?utf-8?B?0L/RgNC40LLQtdGC?=\n\nhello\n";
  const std::string texts[] = {"Received: by mx\nMessage-ID: <x1@spam.example>\n" + foreign,
                               "Received: by mx\n" + foreign};
  std::size_t delivered = 0;
  for (const std::string& text : texts) {
    for (int copy = 0; copy < 2; ++copy) {
      Deliver(maildir, std::to_string(++delivered) + ".host", text);
      ASSERT_TRUE(WaitFor([&] { return Count(BackgroundOutput(), "-> SpamFilter") == delivered; }))
          << "copy " << delivered << " judged: " << BackgroundOutput();
    }
  }
  const Outcome run = Stop();
  EXPECT_EQ(run.out.find("learned as"), std::string::npos) << run.out;
  EXPECT_EQ(Count(run.out, "Non English Spam -> SpamFilter"), 4u) << run.out;
  EXPECT_NE(Stats().find("Spam messages   0\nGood messages   0\n"), std::string::npos) << Stats();
}

TEST_F(VarnoxMoveLessonsTest, VarnoxsOwnMovesAreNoLessons) {
  ASSERT_EQ(Varnox({"settings", "set", "LearnFromMoves", "on"}).status, 0);
  StartWatch();
  // Non-English: spam on an untrained filter, moved by the pipeline.
  Deliver(maildir, "1.host", "Received: by mx\nSubject: =?utf-8?B?0L/RgNC40LLQtdGC?=\n\nhello\n");
  ASSERT_TRUE(Printed("-> SpamFilter")) << BackgroundOutput();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  Outcome run = Stop();
  EXPECT_EQ(run.out.find("learned as"), std::string::npos) << run.out;
  EXPECT_NE(Stats().find("Spam messages   0\n"), std::string::npos);

  // not-spam's move back, then the next watch: taught once, by the command.
  run = Varnox({"not-spam", "--to", "Inbox", (Spam() / "new/1.host").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(Stats().find("Good messages   1\n"), std::string::npos);
}

// Corrections handed to the running watch move mail as well; each is taught
// once, by its command, and never again as a move of the user's.
TEST_F(VarnoxMoveLessonsTest, CorrectionsServedByTheRunningWatchAreTaughtOnce) {
  ASSERT_EQ(Varnox({"settings", "set", "LearnFromMoves", "on"}).status, 0);
  StartWatch();
  Deliver(maildir, "1.host", Mail("Offer", "cheap watches offer\n"));
  ASSERT_TRUE(Printed("\"Offer\" NotSpam")) << BackgroundOutput();
  Outcome run = Varnox({"mark-spam", (maildir / "new/1.host").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(Stats().find("Spam messages   1\nGood messages   0\n"), std::string::npos) << Stats();

  fs::path in_spam;
  for (const char* sub : {"new", "cur"}) {
    for (const auto& entry : fs::directory_iterator(Spam() / sub))
      in_spam = entry.path();
  }
  ASSERT_FALSE(in_spam.empty()) << "Mark Spam moved the message into SpamFilter";
  run = Varnox({"not-spam", "--to", "Inbox", in_spam.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  run = Stop();
  EXPECT_EQ(run.out.find("learned as"), std::string::npos) << run.out;
  // Not Spam's own lesson, once: a move lesson would have made it two.
  EXPECT_NE(Stats().find("Spam messages   1\nGood messages   1\n"), std::string::npos) << Stats();
}

TEST_F(VarnoxMoveLessonsTest, WithTheSettingOffMovesTeachNothingAndTheJournalIsAsBefore) {
  StartWatch();
  Deliver(maildir, "1.host", Mail("Lunch", "shall we meet at noon\n"));
  ASSERT_TRUE(Printed("\"Lunch\" NotSpam")) << BackgroundOutput();
  fs::rename(maildir / "new/1.host", Spam() / "cur/1.host:2,S");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  fs::rename(Spam() / "cur/1.host:2,S", maildir / "cur/1.host:2,S");
  ASSERT_TRUE(WaitFor([&] { return Count(BackgroundOutput(), "\n") >= 2; }))
      << "moved back by other means: judged again, as before";
  const Outcome run = Stop();
  EXPECT_EQ(run.out.find("learned as"), std::string::npos) << run.out;
  EXPECT_NE(Stats().find("Spam messages   0\nGood messages   0\n"), std::string::npos);
  const std::string journal =
      Slurp(WatchJournal::PathFor(Data("journal").string(), fs::canonical(maildir).string()));
  EXPECT_EQ(journal.find("\nG "), std::string::npos) << journal;
  EXPECT_EQ(journal.find("\nP "), std::string::npos) << journal;
}

}  // namespace
}  // namespace varnox

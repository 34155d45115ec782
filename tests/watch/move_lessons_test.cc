// Learning from the user's own moves (LearnFromMoves): the learning mark,
// and the journal's places (the content key that finds a moved message
// under a new name: tests/mime/content_key_test.cc). (`varnox
// watch` end to end: tests/linux/varnox_move_lessons_test.cc.)
#include "linux/watch/move_lessons.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "linux/watch/watch_journal.h"
#include "platform/file_system.h"

namespace varnox {
namespace {

using watch::MarksOf;
using watch::WatchJournal;
namespace fs = std::filesystem;

TEST(MarksOfTest, TheLearnMarkIsInTheHeaderBlockOnly) {
  EXPECT_FALSE(MarksOf("Received: by mx\nX-VNX-RESULT:NotSpam\n\nbody\n").learn_mark);
  EXPECT_TRUE(MarksOf("X-VNX-LEARN:Spam\n\nbody\n").learn_mark);
  EXPECT_FALSE(MarksOf("Subject: a\n\nX-VNX-LEARN in the body\n").learn_mark);
  // No header block, no body, nothing at all: no mark.
  for (const char* raw : {"", "\n", "Subject: only\n"})
    EXPECT_FALSE(MarksOf(raw).learn_mark) << raw;
}

class JournalPlacesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-places-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
  }
  void TearDown() override { fs::remove_all(folder); }
  std::unique_ptr<WatchJournal> Open() {
    WatchJournal::Opened how;
    return WatchJournal::Open(RealFileSystem(), folder + "/journal", "/m", &how);
  }
  std::string folder;
};

TEST_F(JournalPlacesTest, APlaceIsFoundByNameOrByContentAndSurvivesAReopen) {
  {
    auto journal = Open();
    ASSERT_NE(journal, nullptr);
    ASSERT_TRUE(journal->RecordPlace(WatchJournal::Place::kWatched, "1.host", 0xabc, 100));
    ASSERT_TRUE(journal->RecordPlace(WatchJournal::Place::kSpam, "2 odd%", 0xdef, 200));
    EXPECT_FALSE(journal->RecordPlace(WatchJournal::Place::kSpam, "", 1, 300));
  }
  auto journal = Open();
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(journal->PlaceOf("1.host", 0), WatchJournal::Place::kWatched);
  EXPECT_EQ(journal->PlaceOf("renamed", 0xabc), WatchJournal::Place::kWatched);
  EXPECT_EQ(journal->PlaceOf("2 odd%", 0), WatchJournal::Place::kSpam);
  EXPECT_EQ(journal->PlaceOf("other", 0x123), std::nullopt);
  // The copy under a new name moves on: the content is found there.
  ASSERT_TRUE(journal->RecordPlace(WatchJournal::Place::kSpam, "3.copy", 0xabc, 400));
  EXPECT_EQ(journal->PlaceOf("new", 0xabc), WatchJournal::Place::kSpam);
  EXPECT_EQ(journal->PlaceOf("1.host", 0), WatchJournal::Place::kWatched) << "by name first";
  // The name the place was recorded under: the caller checks that message.
  std::string found;
  EXPECT_EQ(journal->PlaceOf("new", 0xabc, &found), WatchJournal::Place::kSpam);
  EXPECT_EQ(found, "3.copy");
  EXPECT_EQ(journal->PlaceOf("1.host", 0xabc, &found), WatchJournal::Place::kWatched);
  EXPECT_EQ(found, "1.host");
}

// A copy found by content is a move only when the message it matches leaves
// its folders; a second delivery leaves the first where it is.
TEST_F(JournalPlacesTest, LeavingTheFoldersIsSeenWithinTheWindowOnly) {
  const std::string a = folder + "/a", b = folder + "/.B";
  for (const std::string& dir : {a, b}) {
    for (const char* sub : {"/cur", "/new", "/tmp"})
      fs::create_directories(dir + sub);
  }
  std::ofstream(b + "/cur/1.host:2,S") << "x";
  std::ofstream(a + "/new/2.host") << "x";
  using std::chrono::milliseconds;
  struct Case {
    const char* unique;
    milliseconds window;
    bool removed_meanwhile;  // by another process, 100 ms into the window
    bool left;
  };
  const Case cases[] = {
      {"9.host", milliseconds(0), false, true},      // in neither folder
      {"1.host", milliseconds(200), false, false},   // stays, flags and all
      {"2.host", milliseconds(0), false, false},     // in the other folder
      {"1.host:2,S", milliseconds(0), false, true},  // a name, not a file
      {"2.host", milliseconds(5000), true, true},    // removed: seen at once
  };
  for (const Case& c : cases) {
    std::thread remover;
    if (c.removed_meanwhile) {
      remover = std::thread([&] {
        std::this_thread::sleep_for(milliseconds(100));
        fs::remove(a + "/new/2.host");
      });
    }
    EXPECT_EQ(watch::LeavesFolders({a, b}, c.unique, c.window), c.left) << c.unique;
    if (remover.joinable())
      remover.join();
  }
}

TEST_F(JournalPlacesTest, ShorteningKeepsRecentPlacesAndDoesNotRepeatWhileTheyFillIt) {
  auto journal = Open();
  ASSERT_NE(journal, nullptr);
  const watch::JournalTime now = watch::kPlaceRetention * 2;
  ASSERT_TRUE(journal->RecordPlace(WatchJournal::Place::kWatched, "old", 1, 10));
  // More recent places than the size that shortens a journal.
  for (int i = 0; journal->large() == false; ++i)
    ASSERT_TRUE(journal->RecordPlace(WatchJournal::Place::kSpam, "m" + std::to_string(i),
                                     static_cast<std::uint64_t>(i) + 100, now));
  ASSERT_TRUE(journal->RecordWatermark(now + 1));
  EXPECT_EQ(journal->PlaceOf("old", 1), std::nullopt) << "older than the retention";
  EXPECT_EQ(journal->PlaceOf("m0", 0), WatchJournal::Place::kSpam);
  EXPECT_FALSE(journal->large()) << "not shortened again at every quiet moment";
  for (const char* damaged : {"G 5 xyz 1.host\n", "P 5 00000000000000aa\n", "G 5\n"}) {
    std::ofstream(WatchJournal::PathFor(folder + "/journal", "/m"), std::ios::app) << damaged;
    WatchJournal::Opened how;
    ASSERT_NE(WatchJournal::Open(RealFileSystem(), folder + "/journal", "/m", &how), nullptr);
    EXPECT_EQ(how, WatchJournal::Opened::kDamaged) << damaged;
  }
}

}  // namespace
}  // namespace varnox

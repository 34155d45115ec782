#include "linux/watch/watch_journal.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/file_system.h"

namespace varnox::watch {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStore = "/home/ann/Maildir";
constexpr const char* kHeader = "varnox watch journal 1 /home/ann/Maildir\n";

class WatchJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-journal-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern + "/journal";
  }
  void TearDown() override { fs::remove_all(fs::path(folder).parent_path()); }

  std::unique_ptr<WatchJournal> Open(WatchJournal::Opened* how) {
    return WatchJournal::Open(RealFileSystem(), folder, kStore, how);
  }
  std::string Text() const {
    std::ifstream in(WatchJournal::PathFor(folder, kStore), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& text) const {
    fs::create_directories(folder);
    std::ofstream(WatchJournal::PathFor(folder, kStore), std::ios::binary) << text;
  }

  std::string folder;
};

TEST_F(WatchJournalTest, RecordsAreReadBackByTheNextOpenTheLastOneCounting) {
  WatchJournal::Opened how;
  auto journal = Open(&how);
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(how, WatchJournal::Opened::kNew);
  EXPECT_EQ(journal->watermark(), std::nullopt);
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  // Unique names with bytes a line could not hold plainly.
  const std::string odd = "17 %x\n\xFF:y";
  ASSERT_TRUE(journal->RecordMovePending("1.host", 100));
  ASSERT_TRUE(journal->RecordHandled(odd, 200));
  ASSERT_TRUE(journal->RecordWatermark(300));
  ASSERT_TRUE(journal->RecordMovePending("2.host", 400));
  ASSERT_TRUE(journal->RecordHandled("1.host", 500));
  EXPECT_EQ(Text(),
            std::string(kHeader) +
                "S 100 1.host\nD 200 17%20%25x%0A%FF:y\nW 300\nS 400 2.host\nD 500 1.host\n");

  journal = Open(&how);
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(how, WatchJournal::Opened::kRead);
  EXPECT_EQ(journal->watermark(), 300);
  EXPECT_EQ(journal->StateOf("1.host"), WatchJournal::State::kHandled);
  EXPECT_EQ(journal->StateOf(odd), WatchJournal::State::kHandled);
  EXPECT_EQ(journal->StateOf("2.host"), WatchJournal::State::kMovePending);
  EXPECT_EQ(journal->StateOf("3.host"), std::nullopt);
  EXPECT_EQ(journal->PendingMoves(), std::vector<std::string>{"2.host"});
}

TEST_F(WatchJournalTest, DamageOfEveryKindStartsAfresh) {
  const struct {
    const char* name;
    std::string text;
  } kCases[] = {
      {"empty file", ""},
      {"another store's", "varnox watch journal 1 /home/bob/Maildir\nW 1\n"},
      {"another version", "varnox watch journal 2 /home/ann/Maildir\nW 1\n"},
      {"torn last line", std::string(kHeader) + "W 1\nD 2 a"},
      {"unknown record", std::string(kHeader) + "X 1 a\n"},
      {"time not a number", std::string(kHeader) + "D 1x a\n"},
      {"negative time", std::string(kHeader) + "D -1 a\n"},
      {"time too long", std::string(kHeader) + "D 12345678901234567890 a\n"},
      {"no name", std::string(kHeader) + "D 1\n"},
      {"empty name", std::string(kHeader) + "D 1 \n"},
      {"a space in a name", std::string(kHeader) + "D 1 a b\n"},
      {"a watermark with a name", std::string(kHeader) + "W 1 a\n"},
      {"a bad escape", std::string(kHeader) + "D 1 a%G0\n"},
      {"a cut escape", std::string(kHeader) + "D 1 a%4\n"},
      {"a NUL byte", std::string(kHeader) + "D 1 a" + std::string(1, '\0') + "\n"},
      {"a content key too short", std::string(kHeader) + "K 1 00ab\n"},
      {"a content key not hex", std::string(kHeader) + "K 1 00000000000000zz\n"},
      {"a note without a key", std::string(kHeader) + "N 1\n"},
      {"a note with three fields", std::string(kHeader) + "N 1 a b c\n"},
      {"a note with a bad escape", std::string(kHeader) + "N 1 a b%ZZ\n"},
  };
  for (const auto& c : kCases) {
    Write(c.text);
    WatchJournal::Opened how;
    auto journal = Open(&how);
    ASSERT_NE(journal, nullptr) << c.name;
    EXPECT_EQ(how, WatchJournal::Opened::kDamaged) << c.name;
    EXPECT_EQ(journal->watermark(), std::nullopt) << c.name;
    EXPECT_EQ(journal->StateOf("a"), std::nullopt) << c.name;
    EXPECT_EQ(Text(), kHeader) << c.name << ": rebuilt";
  }
}

TEST_F(WatchJournalTest, ALargeJournalIsShortenedToWhatTheCatchUpStillNeeds) {
  WatchJournal::Opened how;
  auto journal = Open(&how);
  ASSERT_NE(journal, nullptr);
  const JournalTime now = 10 * kJournalRetention;
  journal->RecordMovePending("old-pending", 1);
  journal->RecordHandled("old", 2);
  journal->RecordHandled("recent", now - kJournalRetention + 1);
  int filler = 0;
  while (!journal->large())
    journal->RecordHandled("filler" + std::to_string(filler++), 3);
  ASSERT_TRUE(journal->RecordWatermark(now));
  EXPECT_EQ(Text(), std::string(kHeader) + "W " + std::to_string(now) + "\nS 1 old-pending\nD " +
                        std::to_string(now - kJournalRetention + 1) + " recent\n");
  EXPECT_FALSE(journal->large());
  EXPECT_EQ(journal->StateOf("old"), std::nullopt) << "forgotten in memory too";
}

TEST_F(WatchJournalTest, NotesAreKeptUntilRemovedAndContentKeysUpToTheirNumber) {
  WatchJournal::Opened how;
  auto journal = Open(&how);
  ASSERT_NE(journal, nullptr);
  const std::string value = "1700 42\r\nX-VNX-RESULT:Spam %";
  ASSERT_TRUE(journal->SetNote("next INBOX", "1 2", 10));
  ASSERT_TRUE(journal->SetNote("stamp x", value, 11));
  ASSERT_TRUE(journal->SetNote("next INBOX", "1 3", 12));
  ASSERT_TRUE(journal->SetNote("gone", "", 13)) << "removing what is not there is no failure";
  ASSERT_TRUE(journal->RecordContentKey(0xfedcba9876543210, 14));
  EXPECT_EQ(Text(), std::string(kHeader) +
                        "N 10 next%20INBOX 1%202\nN 11 stamp%20x "
                        "1700%2042%0D%0AX-VNX-RESULT:Spam%20%25\nN 12 next%20INBOX 1%203\n"
                        "K 14 fedcba9876543210\n");
  ASSERT_TRUE(journal->SetNote("stamp x", "", 15));

  journal = Open(&how);
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(how, WatchJournal::Opened::kRead);
  const std::map<std::string, std::string, std::less<>> expected = {{"next INBOX", "1 3"}};
  EXPECT_EQ(journal->notes(), expected);
  EXPECT_TRUE(journal->HandledContent(0xfedcba9876543210));
  EXPECT_FALSE(journal->HandledContent(0xfedcba9876543211));

  // The oldest keys go first; one recorded twice stays while a copy is kept.
  journal->RecordContentKey(1, 20);
  for (std::uint64_t key = 2; key < kContentKeysKept; ++key)
    journal->RecordContentKey(key, 20);
  journal->RecordContentKey(1, 21);
  EXPECT_FALSE(journal->HandledContent(0xfedcba9876543210));
  EXPECT_TRUE(journal->HandledContent(1));
  journal->RecordContentKey(kContentKeysKept, 22);
  journal->RecordContentKey(kContentKeysKept + 1, 22);
  EXPECT_TRUE(journal->HandledContent(1));
  EXPECT_FALSE(journal->HandledContent(2));
  // Shortened: the notes and the keys kept survive, in memory and on disk.
  ASSERT_TRUE(journal->RecordWatermark(30, /*force_compact=*/true));
  journal = Open(&how);
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(journal->notes(), expected);
  EXPECT_TRUE(journal->HandledContent(1));
  EXPECT_TRUE(journal->HandledContent(kContentKeysKept));
  EXPECT_FALSE(journal->HandledContent(2));
}

TEST_F(WatchJournalTest, EachStoreHasItsOwnFileAndNothingForeignIsReplaced) {
  EXPECT_NE(WatchJournal::PathFor(folder, "/a/Maildir"),
            WatchJournal::PathFor(folder, "/b/Maildir"));
  fs::create_directories(WatchJournal::PathFor(folder, kStore));
  WatchJournal::Opened how;
  EXPECT_EQ(Open(&how), nullptr) << "a folder in the journal's place";
  EXPECT_TRUE(fs::is_directory(WatchJournal::PathFor(folder, kStore)));
}

}  // namespace
}  // namespace varnox::watch

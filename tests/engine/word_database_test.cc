#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/bayesian_core.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::Masked;
using testing::Unmasked;
using Entries = std::vector<std::pair<std::string, WordEntry>>;

constexpr std::int32_t kStart = 1'700'000'000;  // the fake clock's time
constexpr char kHeader[] = "Version = 1.01\nSpam = 10\nClean = 20\n";

class WordDatabaseTest : public ::testing::Test {
 protected:
  WordDatabaseTest() {
    core.set_databasePath("/db");
    core.set_lastAgingTime(kStart);
  }

  void WriteFile(std::string_view text) { fake.files.files["/db"] = Masked(text); }
  std::string FileText() { return Unmasked(fake.files.files["/db"]); }

  Entries TableEntries() {
    Entries out;
    for (const auto [word, entry] : core.words())
      out.emplace_back(std::string(word), entry);
    return out;
  }

  FakePlatform fake;
  BayesianCore core{fake};
};

TEST_F(WordDatabaseTest, HeaderOnlyFileLoadsAnEmptyTable) {
  WriteFile("Version = 1.01\nSpam = 4\nClean = 7\n");
  EXPECT_EQ(core.LoadDatabase(), 1);
  EXPECT_EQ(core.wordCount(), 0u);
  EXPECT_EQ(core.spamMessages(), 4);
  EXPECT_EQ(core.cleanMessages(), 7);
  EXPECT_EQ(core.saved(), 1);
}

TEST_F(WordDatabaseTest, LoadKeepsRepairsOrSkipsEachLine) {
  struct Case {
    const char* what;
    std::string lines;
    Entries expected;
    int saved;
  };
  const Case cases[] = {
      {"plain line", "cash = 5,2,0.71428573,1000\n", {{"cash", {5, 2, 0.71428573f, 1000}}}, 1},
      {"both counts 0", "free = 0,0,0.5,1000\n", {}, 1},
      {"time 0 gets the load time", "cash = 1,1,0.5,0\n", {{"cash", {1, 1, 0.5f, kStart}}}, 0},
      {"leading dollars stay, as the tokenizer keeps them",
       "$$cash = 1,1,0.5,9\n",
       {{"$$cash", {1, 1, 0.5f, 9}}},
       1},
      {"leading punctuation is stripped", "--cash = 1,1,0.5,9\n", {{"cash", {1, 1, 0.5f, 9}}}, 0},
      {"nothing left after stripping", "!!! = 1,1,0.5,9\n", {}, 1},
      {"probability above 1", "cash = 1,1,7.5,9\n", {{"cash", {1, 1, 1.0f, 9}}}, 1},
      {"probability 0", "cash = 1,1,0,9\n", {{"cash", {1, 1, 0.0001f, 9}}}, 1},
      {"minus signs are dropped", "cash = -5,-1,0.5,9\n", {{"cash", {5, 1, 0.5f, 9}}}, 1},
      {"a second line merges",
       "cash = 1,2,0.25,100\ncash = 3,4,0.75,50\n",
       {{"cash", {4, 6, 0.5f, 100}}},
       1},
      {"lower-case header names are words",
       "spam = 2,1,0.5,9\nclean = 1,2,0.5,9\n",
       {{"clean", {1, 2, 0.5f, 9}}, {"spam", {2, 1, 0.5f, 9}}},
       1},
      {"three-byte words, numbers, short stripped words survive",
       "abc = 1,0,0.9998,9\n3.14 = 2,0,0.9998,9\n1,000.50 = 1,1,0.5,9\nem = 0,1,0.0002,9\n",
       {{"1,000.50", {1, 1, 0.5f, 9}},
        {"3.14", {2, 0, 0.9998f, 9}},
        {"abc", {1, 0, 0.9998f, 9}},
        {"em", {0, 1, 0.0002f, 9}}},
       1},
      {"upper case is kept as written", "FREE = 1,1,0.5,9\n", {{"FREE", {1, 1, 0.5f, 9}}}, 1},
      {"missing fields read 0", "cash = 5\n", {{"cash", {5, 0, 0.0001f, kStart}}}, 0},
      {"empty fields do not count", "cash = ,,5,,,1,,0.5,,9\n", {{"cash", {5, 1, 0.5f, 9}}}, 1},
      {"no value", "cash =\ncash\n=\n\n\n", {}, 1},
      {"bytes outside the filters are dropped",
       " c a s h\t= 1x,2y,0.5z,9\r\n",
       {{"cash", {1, 2, 0.5f, 9}}},
       1},
      {"numbers beyond 32 bits",
       "big = 99999999999,1,99999999999999,99999999999\n",
       {{"big", {2147483647, 1, 1.0f, 2147483647}}},
       1},
      {"merged counts saturate",
       "big = 2147483647,1,0.5,9\nbig = 5,1,0.5,9\n",
       {{"big", {2147483647, 2, 0.5f, 9}}},
       1},
      {"a word of 255 bytes is kept",
       std::string(255, 'w') + " = 1,1,0.5,9\n",
       {{std::string(255, 'w'), {1, 1, 0.5f, 9}}},
       1},
      {"a longer word is damage", std::string(256, 'w') + " = 1,1,0.5,9\n", {}, 1},
      {"lines longer than 255 bytes",
       "cash" + std::string(1000, ' ') + "= 1,1,0.5,9" + std::string(1000, ' ') + "\n",
       {{"cash", {1, 1, 0.5f, 9}}},
       1},
      {"last line without line feed", "cash = 1,1,0.5,9", {{"cash", {1, 1, 0.5f, 9}}}, 1},
  };
  for (const Case& c : cases) {
    WriteFile(kHeader + c.lines);
    ASSERT_EQ(core.LoadDatabase(), 1) << c.what;
    EXPECT_EQ(TableEntries(), c.expected) << c.what;
    EXPECT_EQ(core.saved(), c.saved) << c.what;
    EXPECT_EQ(core.spamMessages(), 10) << c.what;
  }
}

TEST_F(WordDatabaseTest, HeaderLinesAreReadByNameInAnyOrder) {
  WriteFile("cash = 1,1,0.5,9\nClean = 3\nVersion = 2.5\nSpam = 99999999999\n");
  ASSERT_EQ(core.LoadDatabase(), 1);
  EXPECT_EQ(core.spamMessages(), 2147483647);
  EXPECT_EQ(core.cleanMessages(), 3);
  EXPECT_EQ(core.version(), 2.5f);
  EXPECT_EQ(core.wordCount(), 1u);
}

TEST_F(WordDatabaseTest, LoadReplacesWhatWasInMemory) {
  core.mutable_words().Insert("old", WordEntry{1, 1, 0.5f, 1});
  core.set_messageCounts(5, 5);
  WriteFile("new = 1,1,0.5,9\n");
  ASSERT_EQ(core.LoadDatabase(), 1);
  EXPECT_EQ(TableEntries(), (Entries{{"new", {1, 1, 0.5f, 9}}}));
  EXPECT_EQ(core.spamMessages(), 0);
  EXPECT_EQ(core.cleanMessages(), 0);
}

TEST_F(WordDatabaseTest, LoadWithoutPathOrFileReturns0) {
  core.set_databasePath("");
  EXPECT_EQ(core.LoadDatabase(), 0);
  core.set_databasePath("/missing");
  EXPECT_EQ(core.LoadDatabase(), 0);
  EXPECT_FALSE(core.databaseUnreadable());
}

TEST_F(WordDatabaseTest, DamagedFilesLoadWithoutHarm) {
  std::mt19937 random(3);
  std::string binary(1 << 20, '\0');
  for (char& c : binary)
    c = static_cast<char>(random());
  struct Case {
    const char* what;
    std::string bytes;  // as stored on disk
    bool check_entries;
    Entries expected;
  };
  const Case cases[] = {
      {"random bytes", binary, false, {}},
      {"NUL bytes", std::string(1 << 20, '\0'), true, {}},
      {"unmasked NUL bytes", Masked(std::string(1 << 20, '\0')), true, {}},
      {"a 100 MB line",
       Masked("cash = 1,1,0.5, " + std::string(100 << 20, '7')),
       true,
       {{"cash", {1, 1, 0.5f, 2147483647}}}},
      {"a 50 MB name",
       Masked(std::string(50 << 20, 'x') + " = 1,1,0.5,9\nok = 1,1,0.5,9"),
       true,
       {{"ok", {1, 1, 0.5f, 9}}}},
      {"truncated",
       Masked(std::string(kHeader) + "cash = 1,1,0.5,9\nmoney = 4,"),
       true,
       {{"cash", {1, 1, 0.5f, 9}}, {"money", {4, 0, 0.0001f, kStart}}}},
      {"empty", "", true, {}},
  };
  for (const Case& c : cases) {
    fake.files.files["/db"] = c.bytes;
    ASSERT_EQ(core.LoadDatabase(), 1) << c.what;
    fake.files.files["/db"].clear();
    if (c.check_entries) {
      EXPECT_EQ(TableEntries(), c.expected) << c.what;
    }
    for (const auto [word, entry] : core.words()) {
      EXPECT_FALSE(word.empty()) << c.what;
      EXPECT_LE(word.size(), BayesianCore::kMaxStoredWordLength) << c.what;
      EXPECT_GE(entry.spamCount, 0) << c.what;
      EXPECT_GE(entry.cleanCount, 0) << c.what;
      EXPECT_GE(entry.probability, 0.0001f) << c.what;
      EXPECT_LE(entry.probability, 1.0f) << c.what;
    }
  }
}

TEST_F(WordDatabaseTest, SaveWritesTheFormatByteForByte) {
  auto& words = core.mutable_words();
  words.Insert("zebra", WordEntry{1, 0, 0.9998f, 1700000001});
  words.Insert("3.14", WordEntry{2, 5, 0.0001f, 1699999999});
  words.Insert("$100", WordEntry{11, 0, 0.99990004f, 5});
  words.Insert("caf\xE9", WordEntry{3, 3, 0.71428573f, 1700000000});
  words.Insert("meeting", WordEntry{0, 12, 0.5f, 1700000000});
  core.set_messageCounts(10, 20);
  core.set_version(0.0f);
  EXPECT_EQ(core.SaveDatabase(), 1);
  const std::string expected =
      "Version = 1.01\nSpam = 10\nClean = 20\n"
      "$100 = 11,0,0.99990004,5\n"
      "3.14 = 2,5,0.00010000,1699999999\n"
      "caf\xE9 = 3,3,0.71428573,1700000000\n"
      "meeting = 0,12,0.50000000,1700000000\n"
      "zebra = 1,0,0.99980003,1700000001\n";
  EXPECT_EQ(FileText(), expected);
  EXPECT_EQ(fake.files.files["/db"], Masked(expected));
  EXPECT_TRUE(testing::MatchesGolden("saved-database.txt", FileText()));
  EXPECT_EQ(core.purgePending(), 0);
  EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(WordDatabaseTest, SaveWithoutPathWritesAndShowsNothing) {
  core.set_databasePath("");
  core.mutable_words().Insert("cash", WordEntry{1, 1, 0.5f, 1});
  EXPECT_EQ(core.SaveDatabase(), 0);
  EXPECT_EQ(fake.files.replace_calls, 0);
  EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(WordDatabaseTest, FirstSavePurgesMalformedEntries) {
  auto& words = core.mutable_words();
  words.Insert("-dash", WordEntry{1, 1, 0.5f, kStart});
  words.Insert("", WordEntry{1, 1, 0.5f, kStart});
  words.Insert("neg", WordEntry{-4, 2, 0.5f, kStart});
  words.Insert("$ok", WordEntry{1, 1, 2.0f, kStart});
  ASSERT_EQ(core.SaveDatabase(), 1);
  EXPECT_EQ(TableEntries(),
            (Entries{{"$ok", {1, 1, 1.0f, kStart}}, {"neg", {0, 2, 0.5f, kStart}}}));
  // Only the first save purges.
  core.mutable_words().Insert("-again", WordEntry{-1, 1, 0.5f, kStart});
  ASSERT_EQ(core.SaveDatabase(), 1);
  EXPECT_NE(core.words().Find("-again"), nullptr);
  EXPECT_NE(FileText().find("-again = -1,1,0.50000000"), std::string::npos);
}

TEST_F(WordDatabaseTest, SaveAgesOldEntriesEveryTwoDays) {
  constexpr std::int32_t kDay = 86400;
  auto& words = core.mutable_words();
  words.Insert("single", WordEntry{1, 0, 0.9998f, kStart - 11 * kDay});
  words.Insert("several", WordEntry{3, 2, 0.5f, kStart - 11 * kDay});
  words.Insert("recent", WordEntry{3, 2, 0.5f, kStart - 7 * kDay});
  words.Insert("future", WordEntry{3, 2, 0.5f, kStart + 365 * kDay});

  fake.clock.Set(kStart + 2 * kDay);  // exactly two days: not yet due
  ASSERT_EQ(core.SaveDatabase(), 1);
  EXPECT_EQ(core.wordCount(), 4u);
  EXPECT_EQ(core.lastAgingTime(), kStart);

  fake.clock.Set(kStart + 2 * kDay + 1);
  ASSERT_EQ(core.SaveDatabase(), 1);
  EXPECT_EQ(core.lastAgingTime(), kStart + 2 * kDay + 1);
  EXPECT_EQ(core.words().Find("single"), nullptr);
  EXPECT_EQ(*core.words().Find("several"), (WordEntry{2, 1, 0.5f, kStart - 11 * kDay}));
  EXPECT_EQ(core.words().Find("recent")->spamCount, 3);  // unseen for 9 days and 1 s
  EXPECT_EQ(core.words().Find("future")->spamCount, 2);
  EXPECT_EQ(FileText().find("single"), std::string::npos);

  // The next save within two days of that ages nothing.
  fake.clock.Advance(kDay);
  ASSERT_EQ(core.SaveDatabase(), 1);
  EXPECT_EQ(core.words().Find("several")->spamCount, 2);
}

TEST_F(WordDatabaseTest, FailedSaveKeepsOldFileTableAndFlags) {
  WriteFile(std::string(kHeader) + "kept = 1,1,0.5,9\n");
  ASSERT_EQ(core.LoadDatabase(), 1);
  const std::string old_bytes = fake.files.files["/db"];
  core.mutable_words().Insert("-bad", WordEntry{-1, 3, 0.5f, kStart});
  core.RecomputeProbabilities();  // saved 0
  const Entries before = TableEntries();

  fake.files.unwritable.push_back("/db");
  fake.clock.Advance(3 * 86400);  // aging due as well
  EXPECT_EQ(core.SaveDatabase(), 0);
  EXPECT_EQ(fake.files.files["/db"], old_bytes);
  EXPECT_EQ(TableEntries(), before);
  EXPECT_EQ(core.purgePending(), 1);
  EXPECT_EQ(core.saved(), 0);
  ASSERT_EQ(fake.ui.messages.size(), 1u);
  EXPECT_EQ(fake.ui.messages[0].text, "Cannot save database (/db)");
  EXPECT_EQ(fake.ui.messages[0].caption, "Bayesian Plugin Error");
  EXPECT_EQ(fake.ui.messages[0].flags, kMbOk | kMbIconWarning | kMbSetForeground | kMbTopmost);

  fake.files.unwritable.clear();
  EXPECT_EQ(core.SaveDatabase(), 1);
  EXPECT_EQ(core.purgePending(), 0);
  EXPECT_EQ(core.words().Find("-bad"), nullptr);
}

TEST_F(WordDatabaseTest, CreateDatabaseFileWritesTheHeader) {
  EXPECT_EQ(core.CreateDatabaseFile(), 1);
  EXPECT_EQ(FileText(), "Version = 1.01\nSpam = 0\nClean = 0\n");
  fake.files.unwritable.push_back("/db");
  fake.files.files["/db"] = "old";
  EXPECT_EQ(core.CreateDatabaseFile(), 0);
  EXPECT_EQ(fake.files.files["/db"], "old");
  core.set_databasePath("");
  EXPECT_EQ(core.CreateDatabaseFile(), 0);
}

TEST_F(WordDatabaseTest, UnreadableExistingFileIsNeverOverwritten) {
  fake.files.files["/db"] = Masked(std::string(kHeader) + "precious = 9,9,0.5,9\n");
  fake.files.unreadable.push_back("/db");
  EXPECT_EQ(core.LoadDatabase(), 0);
  EXPECT_TRUE(core.databaseUnreadable());
  EXPECT_EQ(core.CreateDatabaseFile(), 0);
  EXPECT_EQ(core.SaveDatabase(), 0);
  EXPECT_EQ(fake.files.replace_calls, 0);
  EXPECT_EQ(Unmasked(fake.files.files["/db"]), std::string(kHeader) + "precious = 9,9,0.5,9\n");
  ASSERT_EQ(fake.ui.messages.size(), 1u);
  EXPECT_EQ(fake.ui.messages[0].text, "Cannot save database (/db)");
}

// Every word the tokenizer makes must come back from the file unchanged:
// three-byte words, words with "$", numbers with points and commas, words
// shortened by stripping.
TEST_F(WordDatabaseTest, EveryTokenizedWordSurvivesSaveAndLoad) {
  std::string text;
  for (const char* name : {"mail-offer.txt", "mail-meeting.txt", "mail-punctuation.txt"})
    text += testing::ReadTestFile(name);
  text += " abc $5 $$$x 3.14 1,000.50 'em --ok 12.!!!yes buy!!! caf\xC9 x\xB2.5y";
  WordTable message;
  core.Tokenize(text, message);
  ASSERT_GT(message.size(), 100u);
  ASSERT_EQ(core.LearnWords(message, 100), 1);
  ASSERT_EQ(core.LearnWords(message, 0), 1);
  ASSERT_EQ(core.SaveDatabase(), 1);
  const Entries saved = TableEntries();

  BayesianCore reloaded(fake);
  reloaded.set_databasePath("/db");
  ASSERT_EQ(reloaded.LoadDatabase(), 1);
  EXPECT_EQ(reloaded.saved(), 1);
  EXPECT_EQ(reloaded.wordCount(), message.size());
  Entries loaded;
  for (const auto [word, entry] : reloaded.words())
    loaded.emplace_back(std::string(word), entry);
  EXPECT_EQ(loaded, saved);
  for (const auto [word, entry] : message) {
    const WordEntry* back = reloaded.words().Find(word);
    ASSERT_NE(back, nullptr) << word;
    EXPECT_EQ(back->spamCount, entry.spamCount) << word;
    EXPECT_EQ(back->cleanCount, entry.cleanCount) << word;
  }
}

// A damaged line whose name lost its leading bytes to spell "Spam" was kept
// as a word, written back as the header line "Spam = ...", and so replaced
// the message count at the next load.
TEST_F(WordDatabaseTest, DamagedWordSpelledLikeAHeaderCannotChangeTheCounts) {
  WriteFile(std::string(kHeader) + "-Spam = 999,0,0.5,1000\n.Clean = 7,7,0.5,1000\n" +
            "-Version = 3,0,0.5,1000\nfree = 1,0,0.5,1000\n");
  ASSERT_EQ(core.LoadDatabase(), 1);
  EXPECT_EQ(TableEntries(), (Entries{{"free", {1, 0, 0.5f, 1000}}}));
  EXPECT_EQ(core.saved(), 0) << "the dropped lines are a repair";
  ASSERT_EQ(core.SaveDatabase(), 1);

  BayesianCore again(fake);
  again.set_databasePath("/db");
  ASSERT_EQ(again.LoadDatabase(), 1);
  EXPECT_EQ(again.spamMessages(), 10);
  EXPECT_EQ(again.cleanMessages(), 20);
  EXPECT_FLOAT_EQ(again.version(), 1.01f);
  EXPECT_EQ(again.wordCount(), 1u);
}

TEST_F(WordDatabaseTest, UnsortedFileIsWrittenSorted) {
  WriteFile(std::string(kHeader) + "delta = 1,1,0.5,9\nalpha = 1,1,0.5,9\ncharlie = 1,1,0.5,9\n" +
            "bravo = 1,1,0.5,9\n");
  ASSERT_EQ(core.LoadDatabase(), 1);
  ASSERT_EQ(core.SaveDatabase(), 1);
  EXPECT_EQ(FileText(), std::string(kHeader) +
                            "alpha = 1,1,0.50000000,9\nbravo = 1,1,0.50000000,9\n"
                            "charlie = 1,1,0.50000000,9\ndelta = 1,1,0.50000000,9\n");
}

}  // namespace
}  // namespace varnox

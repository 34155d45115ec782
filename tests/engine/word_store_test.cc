#include "engine/word_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/token_file_format.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::Masked;
using testing::Unmasked;
using testing::WordsOf;

constexpr char kPath[] = "/words.db.second";

bool KeepAll(std::string_view, WordEntry&) {
  return true;
}

class WordStoreTest : public ::testing::Test {
 protected:
  WordStoreTest() { store.set_path(kPath); }

  FakePlatform fake;
  TokenFileFormat format;
  WordStore store{fake, format};
};

TEST_F(WordStoreTest, SavedMaskedAndReadBackWhole) {
  store.mutable_table().Insert("offer", WordEntry{2, 1, 0.5f, 1'700'000'000});
  store.mutable_messages() = MessageCounts{3, 4};
  ASSERT_TRUE(store.Save(KeepAll));
  EXPECT_TRUE(store.onDisk());
  EXPECT_EQ(Unmasked(fake.files.files.at(kPath)),
            "Varnox second judge = 1\nSpam = 3\nClean = 4\n2 1 1700000000 offer\n");

  WordStore read(fake, format);
  read.set_path(kPath);
  ASSERT_EQ(read.Load(), 1);
  EXPECT_TRUE(read.table() == store.table());
  EXPECT_EQ(read.messages().spam, 3);
  EXPECT_EQ(read.messages().clean, 4);
  EXPECT_FALSE(read.unreadable());
}

TEST_F(WordStoreTest, FilesItCannotReadWholeAreNeverReplaced) {
  struct Case {
    const char* what;
    std::string bytes;
    bool locked;  // exists, but cannot be read
  };
  const Case cases[] = {
      {"not of the format", "plain text, not masked", false},
      {"of another format", Masked("Version = 1.01\nSpam = 1\nClean = 1\n"), false},
      {"unreadable", Masked("Varnox second judge = 1\nSpam = 1\nClean = 1\n"), true},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.files.files[kPath] = c.bytes;
    if (c.locked)
      fake.files.unreadable.push_back(kPath);
    WordStore store(fake, format);
    store.set_path(kPath);
    store.mutable_table().Insert("learned", WordEntry{1, 0, 0.5f, 1});
    EXPECT_EQ(store.Load(), 0) << c.what;
    EXPECT_TRUE(store.unreadable()) << c.what;
    EXPECT_TRUE(store.onDisk()) << c.what;
    EXPECT_FALSE(store.Save(KeepAll)) << c.what;
    EXPECT_FALSE(store.SaveHeaderOnly()) << c.what;
    EXPECT_EQ(fake.files.replace_calls, 0) << c.what;
    EXPECT_EQ(fake.files.files.at(kPath), c.bytes) << c.what;
  }
}

TEST_F(WordStoreTest, AMissingFileIsMadeByTheFirstSave) {
  EXPECT_EQ(store.Load(), 0);
  EXPECT_FALSE(store.unreadable());
  EXPECT_FALSE(store.onDisk());
  ASSERT_TRUE(store.SaveHeaderOnly());
  EXPECT_TRUE(store.onDisk());
  EXPECT_EQ(Unmasked(fake.files.files.at(kPath)), "Varnox second judge = 1\nSpam = 0\nClean = 0\n");
}

TEST_F(WordStoreTest, WithoutAPathNothingIsReadOrWritten) {
  store.set_path("");
  fake.files.files[""] = Masked("Varnox second judge = 1\nSpam = 1\nClean = 1\n");
  store.mutable_messages() = MessageCounts{7, 8};
  EXPECT_EQ(store.Load(), 0);
  EXPECT_EQ(store.messages().spam, 7) << "nothing read";
  EXPECT_FALSE(store.Save(KeepAll));
  EXPECT_FALSE(store.SaveHeaderOnly());
  EXPECT_EQ(fake.files.replace_calls, 0);
  EXPECT_FALSE(store.onDisk());
}

TEST_F(WordStoreTest, TheRuleShapesTheFileAndThenTheTable) {
  for (const char* word : {"drop", "halve", "keep"})
    store.mutable_table().Insert(word, WordEntry{4, 2, 0.5f, 1});
  const WordStore::SaveRule rule = [](std::string_view word, WordEntry& entry) {
    if (word == "halve")
      entry.spamCount /= 2;
    return word != "drop";
  };

  fake.files.files[kPath] = "before";
  fake.files.fail_all_writes = true;
  EXPECT_FALSE(store.Save(rule));
  EXPECT_EQ(fake.files.files.at(kPath), "before") << "a failed write leaves the old file";
  EXPECT_EQ(WordsOf(store.table()), (std::vector<std::string>{"drop", "halve", "keep"}))
      << "and the table as it was";
  EXPECT_EQ(store.table().Find("halve")->spamCount, 4);

  fake.files.fail_all_writes = false;
  ASSERT_TRUE(store.Save(rule));
  EXPECT_EQ(Unmasked(fake.files.files.at(kPath)),
            "Varnox second judge = 1\nSpam = 0\nClean = 0\n2 2 1 halve\n4 2 1 keep\n");
  EXPECT_EQ(WordsOf(store.table()), (std::vector<std::string>{"halve", "keep"}));
  EXPECT_EQ(store.table().Find("halve")->spamCount, 2);
}

}  // namespace
}  // namespace varnox

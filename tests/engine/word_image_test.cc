// The image beside a statistics file: it holds exactly what reading the file
// gives, and every image that does not match its file is left for the file.
#include "engine/word_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/token_file_format.h"
#include "engine/word_database_format.h"
#include "engine/word_store.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::Masked;

constexpr char kPath[] = "/words.db";
constexpr char kImage[] = "/words.db.image";

bool KeepAll(std::string_view, WordEntry&) {
  return true;
}

// A table of every kind of word a file holds: short and long, first bytes of
// both halves of code page 1252, probabilities that print in 8 decimals only
// approximately.
WordTable Varied(bool tokens, std::size_t count) {
  std::mt19937 random(7);
  WordTable table;
  const std::string letters = tokens ? "abz:.@!$-_0\x80\xE9\xFF" : "abz09$!'-_,.\xC0\xE9\xFF";
  for (std::size_t i = 0; i < count; ++i) {
    std::string word(1, "ab$9\xE9"[i % 5]);
    const std::size_t length = 1 + random() % (i % 7 == 0 ? 40 : 15);
    while (word.size() < length)
      word.push_back(letters[random() % letters.size()]);
    const float probability = std::uniform_real_distribution<float>(0.0001f, 1.0f)(random);
    table.Insert(word, WordEntry{static_cast<std::int32_t>(random() % 50),
                                 static_cast<std::int32_t>(1 + random() % 50), probability,
                                 1'600'000'000 + static_cast<std::int32_t>(random() % 1000)});
  }
  return table;
}

// A store of one kind of file over the fake's files, as a judge keeps one.
struct Store {
  Store(FakePlatform& fake, WordFileFormat& format, WordStore::ImageUse use) : store(fake, format) {
    store.set_path(kPath);
    store.set_imageUse(use);
  }
  WordStore store;
};

class WordImageTest : public ::testing::TestWithParam<bool> {
 protected:
  WordImageTest() {
    if (Tokens())
      format = std::make_unique<TokenFileFormat>();
    else
      format = std::make_unique<WordDatabaseFormat>();
  }
  bool Tokens() const { return GetParam(); }

  // Saves `table` with the counts: the file and its image.
  void Save(const WordTable& table, MessageCounts counts = {40, 60}) {
    Store writer(fake, *format, WordStore::ImageUse::kNone);
    for (const auto [word, entry] : table)
      writer.store.mutable_table().Insert(word, entry);
    writer.store.mutable_messages() = counts;
    ASSERT_TRUE(writer.store.Save(KeepAll));
  }

  // What reading the text gives, and what the image gives.
  void ExpectImageReadsAsText(WordStore::ImageUse use, const std::string& what) {
    Store text(fake, *format, WordStore::ImageUse::kNone);
    Store image(fake, *format, use);
    ASSERT_EQ(text.store.Load(), 1) << what;
    const std::uint32_t text_extra = format->ImageExtra();
    ASSERT_EQ(image.store.Load(), 1) << what;
    EXPECT_TRUE(image.store.fromImage()) << what;
    EXPECT_EQ(format->ImageExtra(), text_extra) << what;
    EXPECT_EQ(image.store.size(), text.store.table().size()) << what;
    EXPECT_EQ(image.store.messages().spam, text.store.messages().spam) << what;
    EXPECT_EQ(image.store.messages().clean, text.store.messages().clean) << what;
    // Each word found where it lies, with the entry the text gives; and
    // words that are not there are not found.
    for (const auto [word, entry] : text.store.table()) {
      const WordEntry* found = image.store.Find(WordKey(word));
      ASSERT_NE(found, nullptr) << what << " " << word;
      EXPECT_EQ(*found, entry) << what << " " << word;
      EXPECT_EQ(image.store.Find(WordKey(std::string(word) + "#")), nullptr) << what;
    }
    // Copied in: the same table.
    EXPECT_TRUE(image.store.table() == text.store.table()) << what;
    EXPECT_FALSE(image.store.fromImage()) << what;
  }

  FakePlatform fake;
  std::unique_ptr<WordFileFormat> format;
};

INSTANTIATE_TEST_SUITE_P(Formats, WordImageTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "ChiSquareFile" : "WordDatabase";
                         });

TEST_P(WordImageTest, HoldsWhatReadingTheTextGives) {
  Save(Varied(Tokens(), 3000));
  ASSERT_EQ(fake.files.files.count(kImage), 1u);
  for (const auto use : {WordStore::ImageUse::kRead, WordStore::ImageUse::kMap})
    ExpectImageReadsAsText(use, use == WordStore::ImageUse::kRead ? "read" : "mapped");
}

TEST_P(WordImageTest, EmptyTableAndNegativeCounts) {
  Save(WordTable(), {-5, 7});
  ExpectImageReadsAsText(WordStore::ImageUse::kRead, "empty");
}

TEST_P(WordImageTest, LinesTheTextPassesOverAreNotInTheImage) {
  WordTable table = Varied(Tokens(), 100);
  table.Insert("zzzz", WordEntry{0, 0, 0.5f, 5});  // no counts: reading skips it
  Save(table);
  ASSERT_EQ(fake.files.files.count(kImage), 1u);
  ExpectImageReadsAsText(WordStore::ImageUse::kMap, "skipped line");
  Store read(fake, *format, WordStore::ImageUse::kRead);
  ASSERT_EQ(read.store.Load(), 1);
  EXPECT_EQ(read.store.Find(WordKey("zzzz")), nullptr);
}

TEST_P(WordImageTest, NoImageOfEntriesThatDoNotReadBack) {
  // A time of 0 reads back as the load time: the text alone can say it.
  WordTable table = Varied(Tokens(), 10);
  table.Insert("zzzz", WordEntry{1, 1, 0.5f, 0});
  Save(table);
  EXPECT_EQ(fake.files.files.count(kImage), 0u);
  Store read(fake, *format, WordStore::ImageUse::kMap);
  ASSERT_EQ(read.store.Load(), 1);
  EXPECT_FALSE(read.store.fromImage());
}

// The header's fields, as offsets in the image (docs/word-database.md).
struct Field {
  const char* name;
  std::size_t offset;
  std::size_t size;
};
constexpr Field kRejected[] = {
    {"magic", 0, 8},        {"byte order", 8, 4},        {"version", 12, 4},
    {"kind", 16, 4},        {"header size", 20, 4},      {"hash check", 24, 8},
    {"text size", 32, 8},   {"text modified", 40, 8},    {"text changed", 48, 8},
    {"text volume", 56, 8}, {"text file id", 64, 8},     {"index bits", 92, 4},
    {"count", 96, 8},       {"long words size", 104, 8}, {"header checksum", 120, 8},
};
// Fields a header may hold any value in, that name what the copy checks.
constexpr Field kCheckedOnCopy[] = {{"text checksum", 72, 8}, {"body checksum", 112, 8}};

// Changes the field, and seals the header again (except when the field is
// the seal): an image well made in every other way.
std::string WithField(std::string image, const Field& field, unsigned char change) {
  for (std::size_t i = 0; i < field.size; ++i)
    image[field.offset + i] = static_cast<char>(image[field.offset + i] ^ (change + i));
  if (field.offset != 120) {
    const std::uint64_t seal = ImageChecksum::Of(image.data(), 120);
    std::memcpy(image.data() + 120, &seal, sizeof seal);
  }
  return image;
}

TEST_P(WordImageTest, AnImageThatDoesNotMatchIsLeftForTheText) {
  const WordTable table = Varied(Tokens(), 500);
  Save(table);
  const std::string good = fake.files.files.at(kImage);
  const std::string text = fake.files.files.at(kPath);

  struct Case {
    std::string what;
    std::function<void()> damage;
  };
  std::vector<Case> cases;
  for (const Field& field : kRejected) {
    for (const unsigned char change : {0x01, 0x80}) {
      cases.push_back(
          {std::string(field.name) + " ^ " + std::to_string(change),
           [&, field, change] { fake.files.files[kImage] = WithField(good, field, change); }});
    }
  }
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{10}, std::size_t{127}, std::size_t{128}, good.size() - 1}) {
    cases.push_back({"cut to " + std::to_string(size),
                     [&, size] { fake.files.files[kImage] = good.substr(0, size); }});
  }
  cases.push_back({"one byte longer", [&] { fake.files.files[kImage] = good + "x"; }});
  cases.push_back({"other byte order", [&] {
                     // Every number of the header as a machine of the other
                     // order writes it.
                     std::string image = good;
                     for (std::size_t at = 8; at < 24; at += 4)
                       std::reverse(image.begin() + at, image.begin() + at + 4);
                     for (std::size_t at = 24; at < 128; at += 8)
                       std::reverse(image.begin() + at, image.begin() + at + 8);
                     fake.files.files[kImage] = image;
                   }});
  cases.push_back({"text newer", [&] {
                     fake.files.files[kPath] =
                         text + Masked(Tokens() ? "1 1 5 newer\n" : "newer = 1,1,0.5,5\n");
                   }});
  cases.push_back({"text put back as it was", [&] { ++fake.files.stamp_bump[kPath]; }});

  for (const Case& c : cases) {
    fake.files.files[kImage] = good;
    fake.files.files[kPath] = text;
    fake.files.stamp_bump.clear();
    c.damage();
    Store text_read(fake, *format, WordStore::ImageUse::kNone);
    ASSERT_EQ(text_read.store.Load(), 1) << c.what;
    for (const auto use : {WordStore::ImageUse::kRead, WordStore::ImageUse::kMap}) {
      Store read(fake, *format, use);
      ASSERT_EQ(read.store.Load(), 1) << c.what;
      EXPECT_FALSE(read.store.fromImage()) << c.what;
      EXPECT_TRUE(read.store.table() == text_read.store.table()) << c.what;
    }
  }
}

TEST_P(WordImageTest, WhatTheCopyChecksSendsItToTheText) {
  Save(Varied(Tokens(), 500));
  const std::string good = fake.files.files.at(kImage);
  Store text_read(fake, *format, WordStore::ImageUse::kNone);
  ASSERT_EQ(text_read.store.Load(), 1);

  struct Case {
    std::string what;
    std::string image;
  };
  std::vector<Case> cases;
  for (const Field& field : kCheckedOnCopy)
    cases.push_back({field.name, WithField(good, field, 0x01)});
  // Damage in the body, where only its checksum tells: a record's word,
  // its entry, the index, the last byte.
  for (const std::size_t at :
       {std::size_t{128}, std::size_t{128 + 20}, std::size_t{128 + 32 * 500}, good.size() - 1}) {
    std::string image = good;
    image[at] = static_cast<char>(image[at] ^ 0x40);
    cases.push_back({"body byte " + std::to_string(at), image});
  }
  for (const Case& c : cases) {
    fake.files.files[kImage] = c.image;
    Store read(fake, *format, WordStore::ImageUse::kMap);
    ASSERT_EQ(read.store.Load(), 1) << c.what;
    EXPECT_TRUE(read.store.fromImage()) << c.what << ": the header matches";
    // Learning asks for the table: the image is checked, found wanting, and
    // the text read.
    read.store.mutable_table();
    EXPECT_FALSE(read.store.fromImage()) << c.what;
    EXPECT_TRUE(read.store.table() == text_read.store.table()) << c.what;
  }
}

TEST_P(WordImageTest, TakenInAfterAReadOnlyCommandSetTheFileAside) {
  // classify and stats clear the path after loading, so that nothing is
  // written; the image is still the file's when the table is asked for.
  Save(Varied(Tokens(), 200));
  Store text_read(fake, *format, WordStore::ImageUse::kNone);
  ASSERT_EQ(text_read.store.Load(), 1);
  Store read(fake, *format, WordStore::ImageUse::kRead);
  ASSERT_EQ(read.store.Load(), 1);
  read.store.set_path("");
  EXPECT_TRUE(read.store.table() == text_read.store.table());
  EXPECT_FALSE(read.store.Save(KeepAll)) << "nowhere to write";
}

TEST_P(WordImageTest, TwoProcessesSavingAtOnce) {
  // Two saves whose files and images cross: whichever text and image end up
  // side by side, an image is used only with its own text.
  Save(Varied(Tokens(), 50), {1, 1});
  const std::string first_text = fake.files.files.at(kPath);
  const std::string first_image = fake.files.files.at(kImage);
  Save(Varied(Tokens(), 80), {2, 2});
  const std::string second_text = fake.files.files.at(kPath);
  const std::string second_image = fake.files.files.at(kImage);
  struct Case {
    const char* what;
    const std::string& text;
    const std::string& image;
    bool used;
  };
  const Case cases[] = {
      {"first text, second image", first_text, second_image, false},
      {"second text, first image", second_text, first_image, false},
      {"first both", first_text, first_image, true},
      {"second both", second_text, second_image, true},
  };
  for (const Case& c : cases) {
    fake.files.files[kPath] = c.text;
    fake.files.files[kImage] = c.image;
    Store text_read(fake, *format, WordStore::ImageUse::kNone);
    ASSERT_EQ(text_read.store.Load(), 1) << c.what;
    Store read(fake, *format, WordStore::ImageUse::kRead);
    ASSERT_EQ(read.store.Load(), 1) << c.what;
    EXPECT_EQ(read.store.fromImage(), c.used) << c.what;
    EXPECT_EQ(read.store.messages().spam, text_read.store.messages().spam) << c.what;
    EXPECT_TRUE(read.store.table() == text_read.store.table()) << c.what;
  }
}

TEST_P(WordImageTest, ASaveWithNothingChangedWritesNothing) {
  Save(Varied(Tokens(), 100));
  struct Case {
    const char* what;
    std::function<void(WordStore&)> step;
    bool writes;
  };
  const Case cases[] = {
      {"nothing", [](WordStore&) {}, false},
      {"looked up", [](WordStore& store) { store.Find(WordKey("abc")); }, false},
      {"whole table read", [](WordStore& store) { store.table(); }, false},
      {"a word learned",
       [](WordStore& store) {
         store.mutable_table().Insert("fresh", WordEntry{1, 0, 1.0f, 9});
       },
       true},
      {"a message counted", [](WordStore& store) { ++store.mutable_messages().spam; }, true},
      {"emptied", [](WordStore& store) { store.ClearWords(); }, true},
      {"the file replaced by another", [this](WordStore&) { fake.files.stamp_bump[kPath] = 1; },
       true},
  };
  for (const Case& c : cases) {
    fake.files.stamp_bump.clear();
    Store read(fake, *format, WordStore::ImageUse::kMap);
    ASSERT_EQ(read.store.Load(), 1) << c.what;
    c.step(read.store);
    EXPECT_EQ(read.store.UpToDate(), !c.writes) << c.what;
  }
  // Read from the text, a file is written whole at the next save, as always.
  Store text_read(fake, *format, WordStore::ImageUse::kNone);
  ASSERT_EQ(text_read.store.Load(), 1);
  EXPECT_FALSE(text_read.store.UpToDate());
}

// What reading the text makes of the one line written for `word` and
// `entry`, told the way ReadsBackAs tells it.
WordFileFormat::ReadBack ReadingOf(WordFileFormat& format, std::string_view word,
                                   const WordEntry& entry, WordEntry* read) {
  constexpr std::int32_t kLoadTime = 777;
  std::string text;
  format.AppendHeader(MessageCounts{}, &text);
  format.AppendEntry(word, entry, &text);
  WordTable table;
  MessageCounts counts;
  format.Read(text, kLoadTime, table, counts);
  if (counts.spam != 0 || counts.clean != 0 || table.size() > 1)
    return WordFileFormat::ReadBack::kAnyOther;
  if (table.empty())
    return WordFileFormat::ReadBack::kSkipped;
  const WordEntry* found = table.Find(word);
  if (found == nullptr || found->lastSeen == kLoadTime)
    return WordFileFormat::ReadBack::kAnyOther;
  *read = *found;
  return WordFileFormat::ReadBack::kAsWord;
}

// Each line as the image holds it against the text's own reading of it:
// the edges of both formats, and 20,000 probabilities.
TEST(WordFileFormatImageTest, EveryLineAsTheTextReadsIt) {
  struct Case {
    bool tokens;
    std::string word;
    WordEntry entry;
  };
  std::vector<Case> cases = {
      {false, "offer", {1, 1, 0.5f, 5}},
      {false, "", {1, 1, 0.5f, 5}},
      {false, "-offer", {1, 1, 0.5f, 5}},  // stripped on reading
      {false, "Spam", {1, 1, 0.5f, 5}},    // a header's name
      {false, "a b", {1, 1, 0.5f, 5}},     // a byte names cannot hold
      {false, "$100", {1, 1, 0.5f, 5}},
      {false, "3.14", {1, 1, 0.5f, 5}},
      {false, std::string(255, 'a'), {1, 1, 0.5f, 5}},
      {false, std::string(256, 'a'), {1, 1, 0.5f, 5}},
      {false, "offer", {0, 0, 0.5f, 5}},   // skipped
      {false, "offer", {-1, 0, 0.5f, 5}},  // read without its sign
      {false, "offer", {INT32_MIN, 2, 0.5f, 5}},
      {false, "offer", {1, 1, 0.5f, 0}},  // the load time
      {false, "offer", {1, 1, 0.5f, -3}},
      {false, "offer", {1, 1, -0.25f, 5}},
      {false, "offer", {1, 1, 7.5f, 5}},
      {false, "offer", {1, 1, std::numeric_limits<float>::quiet_NaN(), 5}},
      {false, "offer", {1, 1, std::numeric_limits<float>::infinity(), 5}},
      {false, "offer", {1, 1, 1e-9f, 5}},
      {true, "from:ann@example.org", {1, 1, 0.5f, 5}},
      {true, "", {1, 1, 0.5f, 5}},
      {true, "a b", {1, 1, 0.5f, 5}},
      {true, std::string(1, '\x7F'), {1, 1, 0.5f, 5}},
      {true, std::string(255, 'a'), {1, 1, 0.5f, 5}},
      {true, std::string(256, 'a'), {1, 1, 0.5f, 5}},
      {true, "offer", {0, 0, 0.5f, 5}},
      {true, "offer", {1, -1, 0.5f, 5}},
      {true, "offer", {1, 1, 0.5f, 0}},
      {true, "offer", {1, 1, 0.5f, -2}},
      {true, "offer", {1, 1, 0.9f, 5}},
  };
  std::mt19937 random(11);
  for (const float probability : {0.0001f, 0.00010001f, 0.5f, 0.99980003f, 0.9999f, 1.0f,
                                  0.33333334f, 0.123456789f, 0.99999994f})
    cases.push_back({false, "word", {3, 4, probability, 5}});
  for (int i = 0; i < 20000; ++i) {
    const float probability = std::uniform_real_distribution<float>(0.0001f, 1.0f)(random);
    cases.push_back({false, "word", {3, 4, probability, 5}});
  }
  for (const Case& c : cases) {
    WordDatabaseFormat words;
    TokenFileFormat tokens;
    WordFileFormat& format = c.tokens ? static_cast<WordFileFormat&>(tokens) : words;
    std::string line;
    format.AppendEntry(c.word, c.entry, &line);
    WordEntry read;
    const WordFileFormat::ReadBack truth = ReadingOf(format, c.word, c.entry, &read);
    WordEntry told = c.entry;
    EXPECT_EQ(format.ReadsBackAs(c.word, &told), truth) << c.tokens << ": " << line.substr(0, 60);
    if (truth != WordFileFormat::ReadBack::kAsWord)
      continue;
    EXPECT_EQ(told, read) << line;
    WordEntry again = told;
    ASSERT_EQ(format.ReadsBackAs(c.word, &again), WordFileFormat::ReadBack::kAsWord);
    EXPECT_EQ(again, told) << "read back once, it stays: " << line;
  }
}

}  // namespace
}  // namespace varnox

// The tokenizer's own types, without a core: the counts it gathers and the
// ignore list it consults. The rules of the word pass are tested through
// BayesianCore::Tokenize in tokenizer_test.cc.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ignore_list.h"
#include "engine/tokenizer.h"
#include "tests/engine/engine_test_support.h"

namespace varnox {
namespace {

using testing::MessageWords;
using testing::Occurrences;
using Counts = std::vector<std::pair<std::string, int>>;

Counts InOrder(const WordCounts& counts) {
  Counts out;
  for (std::size_t i = 0; i < counts.size(); ++i)
    out.emplace_back(std::string(counts.keys()[i].word()), counts.occurrences(i));
  return out;
}

TEST(WordCountsTest, CountsEachWordInTheOrderFirstSeen) {
  WordCounts counts;
  for (const char* word : {"one", "two", "one", "three", "one"})
    counts.Add(WordKey(std::string_view(word)));
  EXPECT_EQ(InOrder(counts), (Counts{{"one", 3}, {"two", 1}, {"three", 1}}));
}

TEST(WordCountsTest, GrowingKeepsEveryCount) {
  // Far beyond the room asked for: the index is rebuilt several times.
  WordCounts counts(4);
  std::vector<std::string> words;
  for (int i = 0; i < 5000; ++i)
    words.push_back("w" + std::to_string(i));
  for (int round = 1; round <= 3; ++round) {
    for (const std::string& word : words)
      counts.Add(WordKey(word));
  }
  ASSERT_EQ(counts.size(), words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    ASSERT_EQ(counts.keys()[i].word(), words[i]);
    ASSERT_EQ(counts.occurrences(i), 3);
  }
}

TEST(WordCountsTest, FilterDropsWordsAndKeepsCountingTheRest) {
  WordCounts counts;
  for (const char* word : {"keep", "drop", "also", "drop"})
    counts.Add(WordKey(std::string_view(word)));
  counts.Filter([](const WordKey& key) { return key.word() != "drop"; });
  counts.Add(WordKey(std::string_view("also")));
  counts.Add(WordKey(std::string_view("drop")));
  EXPECT_EQ(InOrder(counts), (Counts{{"keep", 1}, {"also", 2}, {"drop", 1}}));
}

TEST(WordCountsTest, AddToFillsAnEmptyMapAndAddsToAFullOne) {
  WordCounts counts;
  for (const char* word : {"zeta", "alpha", "zeta"})
    counts.Add(WordKey(std::string_view(word)));

  WordTable empty;
  counts.AddTo(empty);
  EXPECT_EQ(Occurrences(empty), (Counts{{"alpha", 1}, {"zeta", 2}}));
  EXPECT_NE(empty.Find("zeta"), nullptr);

  WordTable full = MessageWords({{"alpha", 4}, {"mid", 1}});
  counts.AddTo(full);
  EXPECT_EQ(Occurrences(full), (Counts{{"alpha", 5}, {"mid", 1}, {"zeta", 2}}));
  EXPECT_EQ(full.Find("alpha")->cleanCount, 5);
}

TEST(TokenizerCountTest, CountsWithoutACoreAndSkipsIgnoredWords) {
  IgnoreList ignored;
  ignored.AddWords("the");
  const WordCounts counts = Tokenizer(&ignored).Count("The cat saw THE other cat.");
  EXPECT_EQ(InOrder(counts), (Counts{{"cat", 2}, {"saw", 1}, {"other", 1}}));
  EXPECT_TRUE(Tokenizer().Count("").empty());
}

TEST(TokenizerCountTest, ByteClassesOfTheCharacterPass) {
  struct Case {
    unsigned char byte;
    Tokenizer::Kind kind;
  };
  const Case cases[] = {
      {'a', Tokenizer::kLetter},      {'Z', Tokenizer::kLetter},
      {0xE9, Tokenizer::kLetter},     {'7', Tokenizer::kDigit},
      {0xB2, Tokenizer::kDigit},      {'+', Tokenizer::kPlusSlashEq},
      {'/', Tokenizer::kPlusSlashEq}, {'=', Tokenizer::kPlusSlashEq},
      {'$', Tokenizer::kKept},        {'\'', Tokenizer::kKept},
      {'.', Tokenizer::kPoint},       {',', Tokenizer::kPoint},
      {' ', Tokenizer::kSeparator},   {0, Tokenizer::kSeparator},
      {0xD7, Tokenizer::kSeparator},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Tokenizer::KindOf(c.byte), c.kind) << static_cast<int>(c.byte);
}

}  // namespace
}  // namespace varnox

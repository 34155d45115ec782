#include "engine/word_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace varnox {
namespace {

using Model = std::map<std::string, WordEntry>;  // std::string orders bytes as unsigned

std::vector<std::pair<std::string, WordEntry>> Walk(const WordTable& table) {
  std::vector<std::pair<std::string, WordEntry>> out;
  for (const auto [word, entry] : table)
    out.emplace_back(std::string(word), entry);
  return out;
}

std::vector<std::pair<std::string, WordEntry>> Walk(const Model& model) {
  return {model.begin(), model.end()};
}

TEST(WordTableTest, WalksInByteWiseOrderWithPrefixesFirst) {
  const std::vector<std::string> words = {"zebra",
                                          "\xE9t\xE9",
                                          "abc",
                                          "ab",
                                          "abcd",
                                          "Abc",
                                          "a",
                                          "",
                                          "$100",
                                          "3.14",
                                          "a-very-long-word-beyond-fifteen",
                                          "a-very-long-word",
                                          "a-very-long-wor",
                                          std::string("nul\0inside", 10),
                                          std::string("nul", 3),
                                          "~tilde",
                                          "\x80\x81"};
  WordTable table;
  Model model;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const WordEntry entry{static_cast<std::int32_t>(i), 1, 0.25f, 7};
    EXPECT_TRUE(table.Insert(words[i], entry).second) << words[i];
    model.emplace(words[i], entry);
  }
  EXPECT_EQ(table.size(), words.size());
  EXPECT_EQ(Walk(table), Walk(model));
  for (const std::string& word : words) {
    ASSERT_NE(table.Find(word), nullptr) << word;
    EXPECT_EQ(*table.Find(word), model[word]) << word;
  }
  EXPECT_EQ(table.Find("abcde"), nullptr);
  EXPECT_EQ(table.Find(std::string("nul\0", 4)), nullptr);
}

TEST(WordTableTest, InsertKeepsAnExistingEntry) {
  WordTable table;
  table.Insert("offer", WordEntry{3, 4, 0.5f, 9});
  auto [entry, inserted] = table.Insert("offer", WordEntry{1, 1, 0.1f, 1});
  EXPECT_FALSE(inserted);
  EXPECT_EQ(*entry, (WordEntry{3, 4, 0.5f, 9}));
  table["offer"].spamCount = 8;
  EXPECT_EQ(table.Find("offer")->spamCount, 8);
  EXPECT_EQ(table.size(), 1u);
}

// Random inserts, erases, lookups, compactions and copies checked against
// std::map after every step.
TEST(WordTableTest, BehavesLikeAnOrderedMap) {
  std::mt19937 random(12345);
  const std::string alphabet = "ab\xE9z$!.9";
  auto random_word = [&] {
    std::uniform_int_distribution<int> length(0, random() % 5 == 0 ? 24 : 6);
    std::string word;
    for (int n = length(random); n > 0; --n)
      word.push_back(alphabet[random() % alphabet.size()]);
    return word;
  };
  WordTable table;
  Model model;
  for (int step = 0; step < 20000; ++step) {
    const std::string word = random_word();
    switch (random() % 8) {
      case 0:
      case 1:
      case 2: {
        const WordEntry entry{step, -step, 0.5f, step};
        EXPECT_EQ(table.Insert(word, entry).second, model.emplace(word, entry).second);
        break;
      }
      case 3:
        EXPECT_EQ(table.Erase(word), model.erase(word) == 1) << word;
        break;
      case 4: {
        const WordEntry* found = table.Find(word);
        const auto it = model.find(word);
        ASSERT_EQ(found != nullptr, it != model.end()) << word;
        if (found != nullptr) {
          EXPECT_EQ(*found, it->second);
        }
        break;
      }
      case 5:
        if (step % 50 == 0)
          table.Compact();
        break;
      case 6:
        if (step % 500 == 0) {
          WordTable copy = table;
          table = std::move(copy);
        }
        break;
      default:
        if (step % 200 == 0) {
          ASSERT_EQ(Walk(table), Walk(model)) << "step " << step;
        }
        break;
    }
    ASSERT_EQ(table.size(), model.size());
  }
  EXPECT_EQ(Walk(table), Walk(model));
}

// Words mostly arriving in ascending order, as from a loaded file, take the
// path that appends without probing the index; mixed with every other
// operation they must still behave like an ordered map.
TEST(WordTableTest, AscendingInsertsBehaveLikeAnOrderedMap) {
  std::mt19937 random(777);
  WordTable table;
  Model model;
  int counter = 0;
  std::string last;
  auto next_word = [&] {
    switch (random() % 10) {
      case 0:  // a repeat of the last word: must be found, not appended
        return last;
      case 1:  // out of order
        return "a" + std::to_string(random() % 1000);
      case 2:  // long words go to the side buffer
        return "m" + std::to_string(1000000 + counter++) + std::string(20, 'z');
      case 3:  // a NUL makes a word long too
        return "m" + std::to_string(1000000 + counter++) + std::string(1, '\0');
      default:
        return "m" + std::to_string(1000000 + counter++);
    }
  };
  for (int step = 0; step < 20000; ++step) {
    const std::uint32_t action = random() % 16;
    if (action < 10) {
      const std::string word = next_word();
      last = word;
      const WordEntry entry{step, 1, 0.25f, step};
      const auto [stored, inserted] = table.Insert(word, entry);
      ASSERT_EQ(inserted, model.emplace(word, entry).second) << word;
      EXPECT_EQ(*stored, model.at(word));
    } else if (action < 12) {
      const std::string word = random() % 2 == 0 ? last : "a" + std::to_string(random() % 1000);
      const WordEntry* found = table.Find(word);
      const auto it = model.find(word);
      ASSERT_EQ(found != nullptr, it != model.end()) << word;
      if (found != nullptr) {
        EXPECT_EQ(*found, it->second);
      }
    } else if (action == 12) {
      EXPECT_EQ(table.Erase(last), model.erase(last) == 1) << last;
    } else if (action == 13 && step % 40 == 0) {
      // Removing a few through Rewrite, which finds them through the index.
      table.Rewrite([&](std::string_view word, WordEntry&) { return word.size() % 7 != 0; });
      std::erase_if(model, [](const auto& item) { return item.first.size() % 7 == 0; });
    } else if (action == 14 && step % 100 == 0) {
      const WordTable copy = table;  // copied with words not yet indexed
      ASSERT_EQ(Walk(copy), Walk(model));
      for (const auto& [word, entry] : model)
        ASSERT_NE(copy.Find(word), nullptr) << word;
    } else if (action == 15 && step % 25 == 0) {
      std::vector<WordKey> keys;
      for (const auto& [word, entry] : model)
        keys.emplace_back(word);
      keys.emplace_back("a-missing-word");
      std::vector<const WordEntry*> found(keys.size());
      table.FindMany(keys.data(), keys.size(), found.data());
      for (std::size_t i = 0; i + 1 < keys.size(); ++i)
        ASSERT_NE(found[i], nullptr) << keys[i].word();
      EXPECT_EQ(found.back(), nullptr);
    }
    ASSERT_EQ(table.size(), model.size());
  }
  EXPECT_EQ(Walk(table), Walk(model));
  for (const auto& [word, entry] : model) {
    const WordEntry* found = table.Find(word);
    ASSERT_NE(found, nullptr) << word;
    EXPECT_EQ(*found, entry);
  }
}

TEST(WordTableTest, FindManyAgreesWithFind) {
  WordTable table;
  for (int i = 0; i < 5000; i += 2)
    table.Insert(std::string(1, 'w').append(std::to_string(i)), WordEntry{i, i, 0.5f, i});
  std::vector<std::string> words;
  for (int i = 0; i < 300; ++i)
    words.push_back(std::string(1, 'w').append(std::to_string(i * 7)));
  words.push_back(std::string(40, 'x'));
  std::vector<WordKey> keys;
  for (const std::string& word : words)
    keys.emplace_back(word);
  std::vector<const WordEntry*> found(keys.size());
  table.FindMany(keys.data(), keys.size(), found.data());
  for (std::size_t i = 0; i < words.size(); ++i)
    EXPECT_EQ(found[i], table.Find(words[i])) << words[i];
}

TEST(WordTableTest, RewriteChangesAndRemovesEntries) {
  WordTable table;
  for (const char* word : {"delta", "alpha", "charlie", "bravo", "a-long-word-of-twenty"})
    table.Insert(word, WordEntry{1, 2, 0.5f, 3});
  table.Rewrite([](std::string_view word, WordEntry& entry) {
    entry.spamCount = static_cast<std::int32_t>(word.size());
    return word != "bravo" && word != "a-long-word-of-twenty";
  });
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.Find("bravo"), nullptr);
  EXPECT_EQ(table.Find("a-long-word-of-twenty"), nullptr);
  EXPECT_EQ(table.Find("charlie")->spamCount, 7);
  table.Insert("bravo", WordEntry{});
  std::vector<std::string> order;
  for (const auto [word, entry] : table)
    order.emplace_back(word);
  EXPECT_EQ(order, (std::vector<std::string>{"alpha", "bravo", "charlie", "delta"}));
}

TEST(WordTableTest, EqualityComparesWordsAndEntries) {
  WordTable a;
  WordTable b;
  a.Insert("one", WordEntry{1, 1, 0.5f, 0});
  a.Insert("two", WordEntry{2, 2, 0.5f, 0});
  b.Insert("two", WordEntry{2, 2, 0.5f, 0});
  EXPECT_FALSE(a == b);
  b.Insert("one", WordEntry{1, 1, 0.5f, 0});
  EXPECT_TRUE(a == b);
  b["one"].lastSeen = 5;
  EXPECT_FALSE(a == b);
}

TEST(WordTableTest, InsertNewJoinsTheTableUnlookedFor) {
  WordTable table;
  table.Insert("mango");
  table.Insert("apple");
  const std::string long_word(40, 'q');
  for (const std::string& word : {std::string("kiwi"), std::string("banana"), long_word})
    table.InsertNew(WordKey(word), WordEntry{1, 2, 0.5f, 3});
  EXPECT_EQ(table.size(), 5u);
  std::vector<std::string> walked;
  for (const auto [word, entry] : table)
    walked.emplace_back(word);
  EXPECT_EQ(walked, (std::vector<std::string>{"apple", "banana", "kiwi", "mango", long_word}));
  ASSERT_NE(table.Find("kiwi"), nullptr);
  EXPECT_EQ(*table.Find(long_word), (WordEntry{1, 2, 0.5f, 3}));
  EXPECT_FALSE(table.Insert("banana").second);
  EXPECT_TRUE(table.Erase("kiwi"));
  EXPECT_EQ(table.Find("kiwi"), nullptr);
}

// Words inserted unlooked-for go in within the reserved room and beyond it
// (the index and the array both grow), long ones beside them.
TEST(WordTableTest, InsertNewWithinAndBeyondTheReservedRoom) {
  for (const std::size_t reserved : {0u, 1u, 11u, 12u, 13u, 500u}) {
    WordTable table;
    table.reserve(reserved);
    Model model;
    for (int i = 0; i < 12; ++i) {
      const std::string word = (i % 5 == 4 ? std::string(20, 'l') : "w") + std::to_string(i * 37);
      const WordEntry entry{i, i + 1, 0.25f, i + 2};
      table.InsertNew(WordKey(word), entry);
      model[word] = entry;
    }
    ASSERT_EQ(table.size(), model.size()) << reserved;
    EXPECT_EQ(Walk(table), Walk(model)) << reserved;
    for (const auto& [word, entry] : model) {
      ASSERT_NE(table.Find(word), nullptr) << word << " with room for " << reserved;
      EXPECT_EQ(*table.Find(word), entry) << word;
    }
  }
}

TEST(WordTableTest, KeysAreEqualForTheSameWordOnly) {
  const std::string long_a(20, 'a');
  const std::string long_b = long_a.substr(0, 19) + "b";
  struct Case {
    std::string a;
    std::string b;
    bool equal;
  };
  const Case cases[] = {
      {"word", "word", true},
      {"word", "words", false},
      {"", "", true},
      {"abc", "abd", false},
      {long_a, std::string(long_a), true},
      {long_a, long_b, false},
      {long_a.substr(0, 15), long_a.substr(0, 16), false},
      {std::string("a\0b", 3), std::string("a\0b", 3), true},
      {std::string("a\0", 2), "a", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WordKey(c.a) == WordKey(c.b), c.equal) << c.a << " / " << c.b;
}

TEST(WordTableTest, ClearEmptiesTheTable) {
  WordTable table;
  for (int i = 0; i < 1000; ++i)
    table.Insert("word" + std::to_string(i));
  table.clear();
  EXPECT_TRUE(table.empty());
  EXPECT_TRUE(table.begin() == table.end());
  EXPECT_EQ(table.Find("word1"), nullptr);
  table.Insert("again");
  EXPECT_EQ(table.size(), 1u);
}

}  // namespace
}  // namespace varnox

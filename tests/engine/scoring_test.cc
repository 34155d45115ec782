#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/bayesian_core.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::MessageWords;

class ScoringTest : public ::testing::Test {
 protected:
  void Put(const std::string& word, std::int32_t spam, std::int32_t clean, float probability) {
    core.mutable_words().Insert(word, WordEntry{spam, clean, probability, 1});
  }

  // word -> probability of the selection, in order.
  std::vector<std::pair<std::string, float>> Selected(const WordTable& selection) {
    std::vector<std::pair<std::string, float>> out;
    for (const auto [word, entry] : selection)
      out.emplace_back(std::string(word), entry.probability);
    return out;
  }

  FakePlatform fake;
  BayesianCore core{fake};
};

TEST_F(ScoringTest, LookupRulesForRareAndOneSidedWords) {
  struct Case {
    std::int32_t spam, clean;
    float stored;
    float expected;
  };
  const Case cases[] = {
      {0, 0, 0.3f, 0.5f},     {7, 0, 0.3f, 0.9998f}, {10, 0, 0.3f, 0.9998f},
      {11, 0, 0.3f, 0.9999f}, {0, 7, 0.3f, 0.0002f}, {0, 10, 0.3f, 0.0002f},
      {0, 11, 0.3f, 0.0001f}, {1, 1, 0.3f, 0.3f},    {2, 3, 0.71428573f, 0.71428573f},
  };
  for (const Case& c : cases) {
    core.mutable_words().clear();
    Put("word", c.spam, c.clean, c.stored);
    const WordLookup lookup = core.LookupWord("word");
    EXPECT_EQ(lookup.found, 1);
    EXPECT_EQ(lookup.probability, c.expected) << c.spam << "," << c.clean;
    EXPECT_EQ(lookup.spamCount, c.spam);
    EXPECT_EQ(lookup.cleanCount, c.clean);
  }
  EXPECT_EQ(core.LookupWord("absent").found, 0);
}

TEST_F(ScoringTest, AllNewWordsScore50) {
  WordTable selection;
  int spam = -1;
  EXPECT_EQ(core.ScoreWords(MessageWords({{"alpha", 1}, {"beta", 2}}), selection, &spam), 50);
  EXPECT_EQ(spam, 0);
  EXPECT_EQ(Selected(selection),
            (std::vector<std::pair<std::string, float>>{{"alpha", 0.5f}, {"beta", 0.5f}}));
  EXPECT_EQ(selection.Find("alpha")->lastSeen, 1'700'000'000);
}

TEST_F(ScoringTest, WordsSeenFewerThanFiveTimesAreNeutral) {
  Put("four", 4, 0, 0.9f);
  Put("five", 5, 0, 0.9f);
  WordTable selection;
  core.SelectInteresting(MessageWords({{"four", 1}, {"five", 1}}), selection, 15);
  EXPECT_EQ(selection.Find("four")->probability, 0.5f);
  EXPECT_EQ(selection.Find("four")->spamCount, 4);  // the counts found are kept
  EXPECT_EQ(selection.Find("five")->probability, 0.9998f);
}

TEST_F(ScoringTest, ExclamationFormsLendTheirNumbers) {
  Put("free", 20, 0, 0.9f);   // 0.9999
  Put("free!", 3, 0, 0.9f);   // too rare to count
  Put("deal", 5, 5, 0.75f);   // 0.25 from 0.5
  Put("deal!", 5, 5, 0.25f);  // 0.25 from 0.5 too: the longer form wins the tie
  Put("odd", 5, 5, 0.2f);
  Put("ab", 5, 5, 0.2f);
  Put("a", 5, 5, 0.2f);
  WordTable selection;
  core.SelectInteresting(
      MessageWords(
          {{"free!!", 1}, {"deal!!", 1}, {"odd!", 1}, {"ab!", 1}, {"a!!", 1}, {"zzz!!", 1}}),
      selection, 15);
  EXPECT_EQ(*selection.Find("free!!"), (WordEntry{20, 0, 0.9999f, 1'700'000'000}));
  EXPECT_EQ(selection.Find("deal!!")->probability, 0.25f);
  EXPECT_EQ(selection.Find("odd!")->probability, 0.2f);
  // A form is shortened while it has three bytes: "ab!" tries "ab", but
  // "a!!" stops at "a!".
  EXPECT_EQ(selection.Find("ab!")->probability, 0.2f);
  EXPECT_EQ(*selection.Find("a!!"), (WordEntry{0, 0, 0.5f, 1'700'000'000}));
  EXPECT_EQ(*selection.Find("zzz!!"), (WordEntry{0, 0, 0.5f, 1'700'000'000}));
  EXPECT_EQ(selection.Find("free"), nullptr);
}

TEST_F(ScoringTest, FirstFifteenOfEquallyTellingWordsAreSelected) {
  std::vector<std::pair<std::string, int>> words;
  for (char c = 'a'; c <= 'p'; ++c) {
    const std::string word(3, c);
    Put(word, 20, 0, 0.9f);
    words.emplace_back(word, 1);
  }
  WordTable selection;
  core.ScoreWords(MessageWords(words), selection);
  EXPECT_EQ(selection.size(), 15u);
  EXPECT_NE(selection.Find("aaa"), nullptr);
  EXPECT_EQ(selection.Find("ppp"), nullptr);
}

TEST_F(ScoringTest, StrongLateWordDisplacesTheFirstNeutralOne) {
  std::vector<std::pair<std::string, int>> words;
  for (char c = 'a'; c <= 'o'; ++c)
    words.emplace_back(std::string(3, c), 1);
  Put("zzz", 0, 20, 0.1f);  // 0.0001
  words.emplace_back("zzz", 1);
  WordTable selection;
  const std::int32_t score = core.ScoreWords(MessageWords(words), selection);
  EXPECT_EQ(selection.size(), 15u);
  EXPECT_EQ(selection.Find("aaa"), nullptr);
  EXPECT_NE(selection.Find("bbb"), nullptr);
  EXPECT_EQ(selection.Find("zzz")->probability, 0.0001f);
  EXPECT_EQ(score, 0);
}

TEST_F(ScoringTest, WordsAtTheFullDistanceAreNeverDisplaced) {
  std::vector<std::pair<std::string, int>> words;
  for (char c = 'a'; c <= 'o'; ++c) {
    Put(std::string(3, c), 5, 5, 1.0f);  // loaded as 1: distance 0.5
    words.emplace_back(std::string(3, c), 1);
  }
  // Only a hand-set probability beyond 1 can be farther from 0.5 than they.
  Put("zzz", 5, 5, 1.5f);
  words.emplace_back("zzz", 1);
  WordTable selection;
  core.SelectInteresting(MessageWords(words), selection, 15);
  EXPECT_EQ(selection.Find("zzz"), nullptr);
  EXPECT_NE(selection.Find("aaa"), nullptr);
}

TEST_F(ScoringTest, ScoreThresholdAndWorkedNumbers) {
  struct Case {
    std::vector<float> probabilities;
    std::int32_t score;
    int spam;
  };
  const Case cases[] = {
      {{0.9999f, 0.0002f}, 66, 0},  // P ~ 0.00019998, Q ~ 0.00009999
      {{0.905f}, 90, 0},            // exactly 90 is clean
      {{0.915f}, 91, 1},
      {std::vector<float>(15, 0.0002f), 0, 0},    // P underflows to 0
      {std::vector<float>(15, 0.9998f), 100, 1},  // Q underflows to 0
  };
  for (const Case& c : cases) {
    core.mutable_words().clear();
    std::vector<std::pair<std::string, int>> words;
    for (std::size_t i = 0; i < c.probabilities.size(); ++i) {
      std::string word(3, 'w');
      word[1] = word[2] = static_cast<char>('a' + i);
      Put(word, 10, 10, c.probabilities[i]);
      words.emplace_back(word, 1);
    }
    WordTable selection;
    int spam = -1;
    EXPECT_EQ(core.ScoreWords(MessageWords(words), selection, &spam), c.score)
        << c.probabilities[0];
    EXPECT_EQ(spam, c.spam) << c.probabilities[0];
  }
}

TEST_F(ScoringTest, RecomputeProbabilitiesFromCounts) {
  struct Case {
    std::int32_t spamMessages, cleanMessages, spam, clean;
    float expected;
  };
  const Case cases[] = {
      {10, 20, 5, 2, 0.71428573f},  // 0.5 / (0.5 + 0.2)
      {0, 0, 2, 1, 0.5f},           // no messages: both counts taken as 1
      {3, 3, 0, 0, 1.0f},           // nothing seen: d = 0
      {1, 1000000, 0, 5, 0.0001f},  // clamped from below
      {1, 1, 5, 0, 1.0f},          {1, 1, 1, 1000000, 0.0001f},
  };
  for (const Case& c : cases) {
    core.mutable_words().clear();
    Put("word", c.spam, c.clean, 0.3f);
    core.set_messageCounts(c.spamMessages, c.cleanMessages);
    core.RecomputeProbabilities();
    EXPECT_EQ(core.words().Find("word")->probability, c.expected) << c.spam << "," << c.clean;
    EXPECT_EQ(core.saved(), 0);
  }
}

// The selection rule as written, step by step, on words in ascending order:
// the reference for the engine, which reaches the same choice without
// sorting the whole message.
std::vector<std::pair<std::string, WordEntry>> ReferenceSelection(const BayesianCore& core,
                                                                  const WordTable& message,
                                                                  std::uint32_t limit) {
  auto lookup = [&](std::string_view word, WordEntry* out) {
    const WordEntry* entry = core.words().Find(word);
    if (entry == nullptr)
      return false;
    *out = *entry;
    if (out->spamCount + out->cleanCount == 0)
      out->probability = 0.5f;
    else if (out->cleanCount == 0)
      out->probability = out->spamCount <= 10 ? 0.9998f : 0.9999f;
    else if (out->spamCount == 0)
      out->probability = out->cleanCount <= 10 ? 0.0002f : 0.0001f;
    return true;
  };
  auto distance = [](float p) { return std::fabs(static_cast<double>(p) - 0.5); };
  std::vector<std::pair<std::string, WordEntry>> chosen;
  for (const auto [word, occurrences] : message) {
    WordEntry found{0, 0, 0.5f, 0};
    if (!lookup(word, &found)) {
      bool any = false;
      for (std::string form(word); form.size() >= 3 && form.back() == '!';) {
        form.pop_back();
        WordEntry shorter;
        if (lookup(form, &shorter) && shorter.spamCount + shorter.cleanCount >= 5 &&
            (!any || distance(shorter.probability) > distance(found.probability))) {
          found = shorter;
          any = true;
        }
      }
    }
    if (found.spamCount + found.cleanCount < 5)
      found.probability = 0.5f;
    found.lastSeen = 1'700'000'000;
    if (chosen.size() < limit) {
      chosen.emplace_back(std::string(word), found);
      continue;
    }
    std::size_t nearest = chosen.size();
    for (std::size_t j = 0; j < chosen.size(); ++j) {
      const double d = distance(chosen[j].second.probability);
      if (d < 0.5 &&
          (nearest == chosen.size() || d < distance(chosen[nearest].second.probability))) {
        nearest = j;
      }
    }
    if (nearest < chosen.size() &&
        distance(found.probability) > distance(chosen[nearest].second.probability)) {
      chosen.erase(chosen.begin() + static_cast<std::ptrdiff_t>(nearest));
      chosen.emplace_back(std::string(word), found);
    }
  }
  return chosen;
}

TEST_F(ScoringTest, SelectionMatchesTheRuleReadLiterally) {
  std::mt19937 random(2024);
  // Few distinct probabilities, so that ties are everywhere.
  const float probabilities[] = {0.5f, 0.75f, 0.25f, 0.6f, 0.4f, 1.0f, 0.0001f};
  for (int round = 0; round < 400; ++round) {
    core.mutable_words().clear();
    std::vector<std::pair<std::string, int>> message;
    const int vocabulary = 5 + static_cast<int>(random() % 60);
    for (int i = 0; i < vocabulary; ++i) {
      std::string word = std::to_string(random() % 97);
      word.insert(word.begin(), 'w');
      switch (random() % 6) {
        case 0:
          break;  // unknown to the table
        case 1:
          Put(word, static_cast<std::int32_t>(random() % 20), 0, 0.5f);  // one-sided
          break;
        case 2:
          Put(word, 0, static_cast<std::int32_t>(random() % 20), 0.5f);
          break;
        default:
          Put(word, 1 + static_cast<std::int32_t>(random() % 6),
              1 + static_cast<std::int32_t>(random() % 6), probabilities[random() % 7]);
          break;
      }
      if (random() % 5 == 0)
        word += random() % 2 == 0 ? "!" : "!!";
      message.emplace_back(word, 1);
    }
    const WordTable words = MessageWords(message);
    for (std::uint32_t limit : {15u, 1u, 4u, 0u}) {
      WordTable selection;
      core.SelectInteresting(words, selection, limit);
      std::vector<std::pair<std::string, WordEntry>> actual;
      for (const auto [word, entry] : selection)
        actual.emplace_back(std::string(word), entry);
      ASSERT_EQ(actual, ReferenceSelection(core, words, limit))
          << "round " << round << " limit " << limit;
    }
  }
}

// Mail-sized messages (hundreds of distinct words, most known, some
// one-sided or rare, a few ending in "!") against probabilities learned from
// counts: the selection must still be the one the rule gives step by step.
TEST_F(ScoringTest, SelectionOfLongMessagesMatchesTheRuleReadLiterally) {
  std::mt19937 random(99);
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    for (int n = 3 + static_cast<int>(random() % 9); n > 0; --n)
      word.push_back(static_cast<char>('a' + random() % 26));
    vocabulary.push_back(word);
    if (random() % 5 == 0)
      continue;  // never learned
    Put(word, static_cast<std::int32_t>(random() % 30) * static_cast<std::int32_t>(random() % 2),
        static_cast<std::int32_t>(random() % 30), 0.5f);
  }
  core.set_messageCounts(300, 500);
  core.RecomputeProbabilities();
  for (int round = 0; round < 40; ++round) {
    std::string text;
    for (int n = 100 + static_cast<int>(random() % 1400); n > 0; --n) {
      // Low indexes far more often, as with real words.
      const std::size_t pick = static_cast<std::size_t>(random() % 3000) % (1 + random() % 3000);
      text += vocabulary[pick];
      text += random() % 25 == 0 ? "!! " : " ";
    }
    WordTable words;
    core.Tokenize(text, words);
    WordTable selection;
    core.SelectInteresting(words, selection, BayesianCore::kInterestingCount);
    std::vector<std::pair<std::string, WordEntry>> actual;
    for (const auto [word, entry] : selection)
      actual.emplace_back(std::string(word), entry);
    ASSERT_EQ(actual, ReferenceSelection(core, words, BayesianCore::kInterestingCount))
        << "round " << round << ", " << words.size() << " words";
  }
}

// Judging from the counted words (no word map) chooses as the rule does, on
// messages longer than the selection: with ties at the threshold, with every
// word at the full distance, and with a hand-set probability that is not a
// number (no threshold can be found then, and the rule is followed step by
// step).
TEST_F(ScoringTest, CountedWordsAreChosenAsTheRuleSays) {
  const float not_a_number = std::nanf("");
  struct Case {
    const char* name;
    std::vector<float> probabilities;  // of w0, w1, ... in turn
  };
  const Case cases[] = {
      {"ties at the threshold", {0.9f, 0.1f, 0.9f, 0.6f, 0.1f, 0.9f, 0.3f}},
      {"all at the full distance", {1.0f}},
      {"not a number", {0.9f, not_a_number, 0.2f, 0.7f}},
  };
  for (const Case& c : cases) {
    core.mutable_words().clear();
    std::string text;
    for (int i = 0; i < 40; ++i) {
      const std::string word = "w" + std::to_string(i * 7 % 40);
      Put(word, 6, 6, c.probabilities[static_cast<std::size_t>(i) % c.probabilities.size()]);
      text += word + " ";
    }
    text += "unknown words here";
    WordTable words;
    core.Tokenize(text, words);
    const WordCounts counts = core.CountWords(text);
    std::vector<SelectedWord> selected;
    core.ScoreWords(counts, &selected);
    // Probabilities compared as bits: a NaN is chosen too.
    using Chosen = std::tuple<std::string, std::int32_t, std::int32_t, std::uint32_t, std::int32_t>;
    const auto as_chosen = [](std::string_view word, const WordEntry& entry) {
      return Chosen(word, entry.spamCount, entry.cleanCount,
                    std::bit_cast<std::uint32_t>(entry.probability), entry.lastSeen);
    };
    std::vector<Chosen> actual;
    for (const SelectedWord& word : selected)
      actual.push_back(as_chosen(word.word, word.entry));
    std::vector<Chosen> expected;
    for (const auto& [word, entry] :
         ReferenceSelection(core, words, BayesianCore::kInterestingCount))
      expected.push_back(as_chosen(word, entry));
    EXPECT_EQ(actual, expected) << c.name;
  }
}

TEST_F(ScoringTest, ScoringNeverChangesTheTable) {
  Put("cash", 20, 1, 0.9f);
  const WordTable before = core.words();
  WordTable selection;
  core.ScoreWords(MessageWords({{"cash", 2}, {"new", 1}}), selection);
  EXPECT_TRUE(core.words() == before);
}

}  // namespace
}  // namespace varnox

#include "engine/chi_square_judge.h"
#include "engine/word_database_format.h"
#include "engine/word_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "engine/aging.h"
#include "engine/token_set.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::WordsOf;

TEST(ChiSquareJudgeTest, CombineIsSymmetricAndNeutralWithoutClues) {
  EXPECT_DOUBLE_EQ(ChiSquareJudge::Combine({}), 0.5);
  const std::vector<double> spammy = {0.99, 0.95, 0.9, 0.2};
  const std::vector<double> mirrored = {0.01, 0.05, 0.1, 0.8};
  EXPECT_NEAR(ChiSquareJudge::Combine(spammy) + ChiSquareJudge::Combine(mirrored), 1.0, 1e-12);
  EXPECT_GT(ChiSquareJudge::Combine(spammy), 0.9);
  // Thousands of extreme clues neither overflow nor lose the answer.
  EXPECT_NEAR(ChiSquareJudge::Combine(std::vector<double>(5000, 1e-6)), 0.0, 1e-9);
  EXPECT_NEAR(ChiSquareJudge::Combine(std::vector<double>(5000, 1.0 - 1e-6)), 1.0, 1e-9);
}

TEST(ChiSquareJudgeTest, TokenProbabilityStaysNearUnknownWhenRare) {
  ChiSquareParameters p;
  p.goodWeight = 1;
  p.strength = 1;
  p.unknown = 0.5;
  EXPECT_DOUBLE_EQ(ChiSquareJudge::TokenProbability(0, 0, 10, 10, p), 0.5);
  EXPECT_DOUBLE_EQ(ChiSquareJudge::TokenProbability(1, 0, 10, 10, p), 0.75);  // (0.5 + 1) / 2
  EXPECT_GT(ChiSquareJudge::TokenProbability(100, 0, 100, 100, p), 0.99);
  EXPECT_LT(ChiSquareJudge::TokenProbability(0, 100, 100, 100, p), 0.01);
  p.goodWeight = 3;  // good mail weighs more: an even token leans good
  EXPECT_DOUBLE_EQ(ChiSquareJudge::TokenProbability(5, 5, 10, 10, p), (0.5 + 10 * 0.25) / 11);
}

// The estimate written over one denominator agrees with its definition:
// rates per side, their share, then the prior.
TEST(ChiSquareJudgeTest, TokenProbabilityAgreesWithItsDefinition) {
  const auto defined = [](double s, double c, double ns, double nc, const ChiSquareParameters& p) {
    const double spam_rate = s / std::max(ns, 1.0);
    const double good_rate = p.goodWeight * c / std::max(nc, 1.0);
    const double share = spam_rate + good_rate > 0 ? spam_rate / (spam_rate + good_rate) : 0.5;
    const double f = (p.strength * p.unknown + (s + c) * share) / (p.strength + s + c);
    return std::clamp(f, 1e-6, 1.0 - 1e-6);
  };
  const std::int32_t counts[] = {0, 1, 7, 1000, INT32_MAX};
  const std::int32_t messages[] = {0, 1, 3000, INT32_MAX};
  for (const double weight : {0.0, 1.0, 1.5}) {
    for (const double strength : {0.25, 1.0}) {
      ChiSquareParameters p;
      p.goodWeight = weight;
      p.strength = strength;
      p.unknown = 0.4;
      for (std::int32_t s : counts)
        for (std::int32_t c : counts)
          for (std::int32_t ns : messages)
            for (std::int32_t nc : messages) {
              const double expected = defined(s, c, ns, nc, p);
              EXPECT_NEAR(ChiSquareJudge::TokenProbability(s, c, ns, nc, p), expected,
                          1e-12 * std::max(expected, 1e-6))
                  << s << " " << c << " " << ns << " " << nc << " w " << weight;
            }
    }
  }
}

// The score says how sure the judge is: 50 for no evidence, 90 at the
// cutoff, 91 just above it, 100 only once the doubt left is at most
// sureDoubt, by orders of magnitude in between.
TEST(ChiSquareJudgeTest, ScoreMapsTheIndicatorOntoHowSureTheJudgeIs) {
  ChiSquareParameters p;
  p.cutoff = 0.75;  // a doubt of 0.25 there
  p.sureDoubt = 1e-6;
  struct Case {
    double indicator;
    std::int32_t score;
  };
  const Case cases[] = {
      {0.0, 0},
      {0.25, 25},
      {0.4999999, 49},
      {0.5, 50},
      {0.625, 70},
      {0.75, 90},  // the cutoff: not spam
      {0.7500001, 91},
      {1 - 0.25 / 3, 91},   // a third of the cutoff's doubt: 9 ln 3 / ln 250000 = 0.80
      {1 - 0.25 / 10, 92},  // a tenth: 9 ln 10 / ln 250000 = 1.67
      {1 - 1e-4, 96},       // 9 ln 2500 / ln 250000 = 5.67
      {1 - 1.01e-6, 99},
      {1 - 0.99e-6, 100},
      {1 - 1e-12, 100},
      {1.0, 100},
      {std::nan(""), 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChiSquareJudge::ScoreOf(c.indicator, p), c.score) << c.indicator;
  // Strictly more sure never scores less, and spam always above 90.
  std::int32_t last = 0;
  for (double doubt = 0.25; doubt > 1e-8; doubt /= 1.5) {
    const std::int32_t score = ChiSquareJudge::ScoreOf(1 - doubt * 0.999, p);
    EXPECT_GE(score, std::max(last, 91)) << doubt;
    last = score;
  }
}

// Learns `side` messages, each holding `tokens`.
void LearnMessages(ChiSquareJudge& judge, std::initializer_list<const char*> tokens, Side side,
                   int messages = 1) {
  std::vector<WordKey> keys;
  for (const char* token : tokens)
    keys.emplace_back(std::string_view(token));
  for (int i = 0; i < messages; ++i)
    judge.LearnTokens(keys, {}, side, 1);
}

ChiSquareVerdict WeighTokens(const ChiSquareJudge& judge,
                             std::initializer_list<const char*> tokens) {
  std::vector<WordKey> keys;
  for (const char* token : tokens)
    keys.emplace_back(std::string_view(token));
  return judge.Weigh(keys, {});
}

// "I don't know" is not spam: no evidence, evidence pulling both ways as
// hard, and the evidence of a handful of tokens each seen once in spam, with
// the parameters in the code.
TEST(ChiSquareJudgeTest, NoBalancedOrWeakEvidenceIsNotSpam) {
  FakePlatform fake;
  ChiSquareJudge judge(fake);
  LearnMessages(judge, {"once-a", "once-b", "once-c", "once-d", "once-e"}, Side::kSpam);
  LearnMessages(judge, {"pills", "offer"}, Side::kSpam, 40);
  LearnMessages(judge, {"lunch", "agenda"}, Side::kClean, 40);
  struct Case {
    const char* what;
    std::initializer_list<const char*> tokens;
  };
  const Case cases[] = {
      {"no token known", {"never", "seen", "before"}},
      {"one token seen once", {"once-a", "unknown"}},
      {"three tokens seen once", {"once-a", "once-b", "once-c"}},
      {"five tokens seen once", {"once-a", "once-b", "once-c", "once-d", "once-e"}},
      {"as much spam as good", {"pills", "lunch"}},
      {"twice as much both ways", {"pills", "offer", "lunch", "agenda"}},
  };
  for (const Case& c : cases) {
    const ChiSquareVerdict weighed = WeighTokens(judge, c.tokens);
    EXPECT_FALSE(weighed.verdict.spam) << c.what << ": indicator " << weighed.indicator;
    EXPECT_LE(weighed.verdict.score, 90) << c.what;
  }
  EXPECT_EQ(WeighTokens(judge, {"never"}).verdict.score, 50) << "no evidence scores 50";
  EXPECT_EQ(WeighTokens(judge, {"pills", "lunch"}).verdict.score, 50);
  // What it has seen often is evidence.
  const ChiSquareVerdict spam = WeighTokens(judge, {"pills", "offer", "unknown"});
  EXPECT_TRUE(spam.verdict.spam) << spam.indicator;
  EXPECT_GT(spam.verdict.score, 90);
}

// Fisher's indicator computed plainly in long double logarithms.
double ReferenceIndicator(const std::vector<double>& probabilities) {
  const auto q = [&](long double x2) {
    const long double m = x2 / 2;
    long double log_term = -m;
    long double sum = std::exp(log_term);
    for (std::size_t i = 1; i < probabilities.size(); ++i) {
      log_term += std::log(m) - std::log(static_cast<long double>(i));
      sum += std::exp(log_term);
    }
    return std::min<long double>(1, sum);
  };
  long double log_spam = 0, log_good = 0;
  for (double f : probabilities) {
    log_spam += std::log(static_cast<long double>(f));
    log_good += std::log1p(-static_cast<long double>(f));
  }
  return static_cast<double>((1 + (1 - q(-2 * log_good)) - (1 - q(-2 * log_spam))) / 2);
}

TEST(ChiSquareJudgeTest, CombineMatchesTheChiSquareSumOnBothSidesOfItsRange) {
  struct Case {
    std::size_t clues;
    double probability;  // of every clue but the last
    double last;
  };
  // 50 and 51 clues of 1e-6 put m on either side of where the sum moves to
  // logarithms (-ln 1e-6 = 13.8 per clue).
  const Case cases[] = {{1, 0.3, 0.3},    {2, 0.9, 0.2},     {15, 0.99, 0.01},
                        {15, 0.6, 0.45},  {15, 1e-6, 0.7},   {50, 1e-6, 1e-6},
                        {51, 1e-6, 1e-6}, {51, 1e-6, 0.999}, {80, 0.4, 0.6}};
  for (const Case& c : cases) {
    std::vector<double> probabilities(c.clues - 1, c.probability);
    probabilities.push_back(c.last);
    EXPECT_NEAR(ChiSquareJudge::Combine(probabilities), ReferenceIndicator(probabilities), 1e-9)
        << c.clues << " clues of " << c.probability;
  }
  // With one clue the indicator is the clue itself.
  EXPECT_NEAR(ChiSquareJudge::Combine(std::vector<double>{0.37}), 0.37, 1e-12);
}

TEST(ChiSquareJudgeTest, JudgeCombinesTheFarthestCluesEquallyFarOnesInTokenOrder) {
  FakePlatform fake;
  ChiSquareJudge judge(fake);
  const auto learn = [&](std::initializer_list<const char*> tokens, Side side) {
    std::vector<WordKey> words;
    for (const char* token : tokens)
      words.emplace_back(std::string_view(token));
    judge.LearnTokens(words, {}, side, 1);
  };
  // "far" is spam three times; "tie-*" once each, all equally far; "good"
  // is good once; "level" once on each side.
  learn({"far", "tie-d", "tie-b", "tie-c", "tie-a", "level"}, Side::kSpam);
  learn({"far"}, Side::kSpam);
  learn({"far"}, Side::kSpam);
  learn({"good", "level"}, Side::kClean);

  std::vector<WordKey> words;
  for (const char* token : {"tie-d", "unknown", "tie-c", "far", "tie-b", "good", "tie-a", "level"})
    words.emplace_back(std::string_view(token));
  TokenSet mail;
  mail.Add("from:@never.example");
  // Fixed here rather than the code's defaults, which tuning may change.
  ChiSquareParameters base;
  base.goodWeight = 2.0;
  base.strength = 0.1;
  base.unknown = 0.4;
  const auto f = [&](const char* token) {
    const WordEntry* entry = judge.table().Find(token);
    return ChiSquareJudge::TokenProbability(entry->spamCount, entry->cleanCount,
                                            judge.spamMessages(), judge.cleanMessages(), base);
  };
  struct Case {
    std::size_t maxClues;
    double minDeviation;
    std::vector<std::string> top;       // in token order
    std::vector<const char*> combined;  // farthest first
  };
  const Case cases[] = {
      {3, 0.0, {"far", "good", "tie-a"}, {"far", "good", "tie-a"}},
      {4, 0.0, {"far", "good", "tie-a", "tie-b"}, {"far", "good", "tie-a", "tie-b"}},
      {0, 0.0, {}, {}},
      {15,
       0.0,
       {"far", "good", "level", "tie-a", "tie-b", "tie-c", "tie-d"},
       {"far", "good", "tie-a", "tie-b", "tie-c", "tie-d", "level"}},
      {15, 0.45, {"far", "good"}, {"far", "good"}},
  };
  // The order above holds only if "good" is farther than the ties.
  ASSERT_GT(std::fabs(f("good") - 0.5), std::fabs(f("tie-a") - 0.5));
  for (const Case& c : cases) {
    ChiSquareParameters parameters = base;
    parameters.maxClues = c.maxClues;
    parameters.minDeviation = c.minDeviation;
    const ChiSquareVerdict weighed = judge.Weigh(words, mail.keys(), parameters);
    std::vector<std::string> top;
    for (const Clue& clue : weighed.verdict.clues)
      top.emplace_back(clue.token);
    EXPECT_EQ(top, c.top) << c.maxClues << " " << c.minDeviation;
    std::vector<double> combined;
    for (const char* token : c.combined)
      combined.push_back(f(token));
    std::sort(combined.begin(), combined.end());  // as Weigh combines them
    EXPECT_EQ(weighed.indicator, ChiSquareJudge::Combine(combined)) << c.maxClues;
  }
}

// What its saves do to the table: the aging, when due, and nothing else.
TEST(ChiSquareJudgeTest, AgingTakesOneFromTokensUnseenForTenDays) {
  FakePlatform fake;
  ChiSquareJudge judge(fake);
  judge.Load("/words.db");
  const std::int32_t now = 1'700'000'000;
  const std::int32_t old = now - static_cast<std::int32_t>(aging::kAge) - 1;
  const std::vector<WordKey> once = {WordKey("once")};
  const std::vector<WordKey> twice = {WordKey("twice")};
  judge.LearnTokens(once, {}, Side::kSpam, old);
  judge.LearnTokens(twice, {}, Side::kSpam, old);
  judge.LearnTokens(twice, {}, Side::kSpam, old);
  judge.LearnTokens(twice, {}, Side::kClean, old);
  judge.LearnTokens({}, {}, Side::kSpam, now);
  const std::vector<WordKey> recent = {WordKey("recent")};
  judge.LearnTokens(recent, {}, Side::kClean, now);

  ASSERT_EQ(judge.Save(false, now), 1);
  EXPECT_EQ(judge.table().size(), 3u) << "no aging when it is not due";
  ASSERT_EQ(judge.Save(true, now), 1);
  EXPECT_EQ(WordsOf(judge.table()), (std::vector<std::string>{"recent", "twice"}))
      << "1 and 0 become 0 and 0: it goes";
  EXPECT_EQ(judge.table().Find("twice")->spamCount, 1);
  EXPECT_EQ(judge.table().Find("twice")->cleanCount, 0);
  EXPECT_EQ(judge.table().Find("recent")->cleanCount, 1);
}

TEST(ChiSquareJudgeTest, StartsFromTheClassicCountsOnlyWhenItHasLearnedNothing) {
  WordTable classic;
  classic.Insert("offer", WordEntry{40, 0, 0.9f, 7});  // more often than spam messages
  classic.Insert("lunch", WordEntry{1, 3, 0.2f, 8});
  classic.Insert("broken", WordEntry{-2, 1, 0.5f, 9});  // a hand-set negative count
  struct Case {
    MessageCounts classic;
    bool learnedBefore;
    bool starts;
  };
  const Case cases[] = {
      {{10, 20}, false, true},
      {{10, 0}, false, false},  // no good mail learned: nothing to start from
      {{0, 20}, false, false},
      {{10, 20}, true, false},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    WordDatabaseFormat format;
    WordStore store(fake, format);
    for (const auto [word, entry] : classic)
      store.mutable_table().Insert(word, entry);
    store.mutable_messages() = c.classic;
    ChiSquareJudge judge(fake);
    if (c.learnedBefore)
      judge.LearnTokens({}, {}, Side::kSpam, 1);
    judge.StartFrom(store);
    const std::string what = std::to_string(c.classic.spam) + "/" +
                             std::to_string(c.classic.clean) + " " +
                             (c.learnedBefore ? "learned" : "new");
    if (!c.starts) {
      EXPECT_TRUE(judge.table().empty()) << what;
      continue;
    }
    EXPECT_EQ(judge.spamMessages(), 10) << what;
    EXPECT_EQ(judge.cleanMessages(), 20) << what;
    const WordEntry* offer = judge.table().Find("offer");
    ASSERT_NE(offer, nullptr);
    EXPECT_EQ(*offer, (WordEntry{10, 0, 0.5f, 7})) << "at most the side's message count";
    EXPECT_EQ(*judge.table().Find("lunch"), (WordEntry{1, 3, 0.5f, 8}));
    EXPECT_EQ(*judge.table().Find("broken"), (WordEntry{0, 1, 0.5f, 9}));
  }
}

}  // namespace
}  // namespace varnox

#include "engine/second_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "engine/bayesian_filter.h"
#include "engine/judge_tokens.h"
#include "settings/settings_store.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::Masked;
using testing::Unmasked;

constexpr char kDatabase[] = "/words.db";
constexpr char kCompanion[] = "/words.db.second";

constexpr char kSpamHeaders[] =
    "Received: from relay.cheap-pills.example (relay.cheap-pills.example [203.0.113.7])\r\n"
    "\tby mx.home.example\r\n"
    "From: \"Best Offer\" <offers@cheap-pills.example>\r\n"
    "Content-Type: text/html; charset=\"windows-1252\"\r\n"
    "X-Mailer: BulkBlaster 3\r\n";
constexpr char kGoodHeaders[] =
    "Received: from mail.friends.example (mail.friends.example [198.51.100.4])\r\n"
    "\tby mx.home.example\r\n"
    "From: Anna <anna@friends.example>\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n";

std::vector<std::string> TokensOf(const WordTable& table) {
  std::vector<std::string> tokens;
  for (const auto [token, entry] : table)
    tokens.emplace_back(token);
  return tokens;
}

// In byte-wise order, as the table's.
std::vector<std::string> TokensOf(const TokenSet& set) {
  std::vector<std::string> tokens;
  for (const WordKey& key : set.keys())
    tokens.emplace_back(key.word());
  std::sort(tokens.begin(), tokens.end());
  return tokens;
}

bool Has(const TokenSet& set, const std::string& token) {
  return set.Contains(token);
}

// --- Tokens -------------------------------------------------------------------

TEST(JudgeTokensTest, HeaderFieldsGiveTheirOwnTokens) {
  TokenSet tokens;
  judge_tokens::AddHeaderTokens(kSpamHeaders, "Cheap PILLS", &tokens);
  for (const char* expected :
       {"from:offers@cheap-pills.example", "from:@cheap-pills.example", "from:name:best",
        "rcvd:relay.cheap-pills.example", "rcvd:cheap-pills.example", "rcvd:203.0.113.7",
        "rcvd:203.0.113", "rcvd:mx.home.example",  // the folded line belongs to Received
        "ct:text/html", "ct:charset=windows-1252", "xm:bulkblaster", "subj:cheap", "subj:pills"}) {
    EXPECT_TRUE(Has(tokens, expected)) << expected;
  }
}

TEST(JudgeTokensTest, SenderWithoutAddressAndBoundaryAreHandled) {
  TokenSet tokens;
  judge_tokens::AddHeaderTokens(
      "From: nobody\nContent-Type: multipart/mixed; boundary=\"xyz123\"\n", "", &tokens);
  EXPECT_TRUE(Has(tokens, "from:(none)"));
  EXPECT_TRUE(Has(tokens, "ct:multipart/mixed"));
  EXPECT_EQ(tokens.size(), 2u) << "a boundary differs in every message";
}

TEST(JudgeTokensTest, OnlyTheNamedFieldsGiveTokensWhateverTheirCase) {
  struct Case {
    const char* headers;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"FROM: <a@b.example>\n", {"from:@b.example", "from:a@b.example"}},
      {"User-Agent: Mutt/1.5\n", {"xm:mutt"}},
      {"x-MAILER:Outbox\n", {"xm:outbox"}},
      {"received: from a.b.example\n", {"rcvd:a.b.example", "rcvd:b.example"}},
      {"From : <a@b.example>\n", {}},  // the name is "From "
      {"X-Mailer-Version: Outbox\n", {}},
      {"Subject: from: <a@b.example>\n", {}},
      {"Received:\nFrom", {}},
      {"Received: by host. or .lead.example and a.b\n", {"rcvd:a.b"}},
      {"To: Ann <ann@mail.b.example>,\n\tbob@c.example\n",  // folded
       {"to:b.example", "to:c.example", "to:mail.b.example"}},
      {"Message-ID: <1234.abc@mx.d.example >\n", {"mid:@mx.d.example"}},
      {"Message-Id: <no-at-sign>\n", {}},
      {"Return-Path: <>\n", {"rp:(none)"}},
      {"return-path: <bounce-7@lists.e.example>\n", {"rp:@lists.e.example"}},
      {"Date: Mon, 1 Jul 2002 10:00:00 +0100\n", {"date:(weekday)", "date:0100"}},
      {"Date: 1 Jul 2002 10:00:00 -0700 (PDT) \n", {"date:(no-weekday)", "date:pdt"}},
      {"Date:\n", {"date:(no-weekday)"}},
      {"Content-Transfer-Encoding: Base64\n", {"cte:base64"}},
      // Hosts are runs with a dot inside, wherever they stand in the value.
      {"Received: from [192.0.2.1] by MX.Example.COM with sendmail 8.11.6",
       {"rcvd:192.0.2", "rcvd:192.0.2.1", "rcvd:8.11", "rcvd:8.11.6", "rcvd:example.com",
        "rcvd:mx.example.com"}},
      {"Received: .a.example v1.2- x. a..b\n", {"rcvd:.b", "rcvd:a..b", "rcvd:v1.2"}},
      {"Received:mx.a.example", {"rcvd:a.example", "rcvd:mx.a.example"}},  // at the value's start
      // ASCII letters are lower-cased; other bytes are kept as they are.
      {"Content-Type: TEXT/Plain; charset=K\xC9\n", {"ct:charset=k\xc9", "ct:text/plain"}},
  };
  for (const Case& c : cases) {
    TokenSet tokens;
    judge_tokens::AddHeaderTokens(c.headers, "", &tokens);
    EXPECT_EQ(TokensOf(tokens), c.tokens) << c.headers;
  }
}

TEST(JudgeTokensTest, EncodedWordsOfTheSenderNameGiveTheirCharsetOnly) {
  struct Case {
    const char* from;
    std::vector<std::string> name_tokens;  // from:name: and from:charset: tokens
  };
  const Case cases[] = {
      {"From: \"=?iso-2022-jp?B?GyRCMEtFbCEhP04bKEI=?=\" <a@x.example>\n",
       {"from:charset:iso-2022-jp"}},
      {"From: Dr =?UTF-8?Q?J=C3=BCrgen?= Smith <a@x.example>\n",
       {"from:charset:utf-8", "from:name:dr", "from:name:smith"}},
      // Not closed: the rest is read as words, nothing is lost or overrun.
      {"From: =?utf-8?B?abc Anna <a@x.example>\n",
       {"from:name:anna", "from:name:utf", "from:name:abc"}},
      {"From: =?\n", {}},
  };
  for (const Case& c : cases) {
    TokenSet tokens;
    judge_tokens::AddHeaderTokens(c.from, "", &tokens);
    std::vector<std::string> name_tokens;
    for (const std::string& token : TokensOf(tokens)) {
      if (token.rfind("from:name:", 0) == 0 || token.rfind("from:charset:", 0) == 0)
        name_tokens.push_back(token);
    }
    std::vector<std::string> expected = c.name_tokens;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(name_tokens, expected) << c.from;
  }
}

TEST(JudgeTokensTest, LinkHostsOfHttpAndHttpsOnly) {
  TokenSet tokens;
  judge_tokens::AddLinkTokens(
      "see HTTP://Shop.Pills.Example/buy and https://b.c.example. or ftp://files.example/x "
      "and ://nohost",
      &tokens);
  EXPECT_EQ(TokensOf(tokens),
            (std::vector<std::string>{"url:b.c.example", "url:c.example", "url:pills.example",
                                      "url:shop.pills.example"}));
}

TEST(JudgeTokensTest, HostileBytesNeverReachAToken) {
  std::string headers =
      "From: <a\x01"
      "b@x\x7F.example>\r\nReceived: from ";
  headers += std::string(100, 'h') + ".example\r\nX-Mailer: ";
  for (int i = 0; i < 5000; ++i)
    headers += "w" + std::to_string(i) + " ";
  headers += "\r\nFrom: <bare\rcr@x.example>\r\n";
  TokenSet tokens;
  judge_tokens::AddHeaderTokens(headers, "", &tokens);
  EXPECT_LE(tokens.size(), judge_tokens::kMaxTokens);
  for (const std::string& token : TokensOf(tokens)) {
    EXPECT_LE(token.size(), judge_tokens::kMaxTokenLength);
    for (unsigned char byte : token)
      EXPECT_TRUE(byte > 0x20 && byte != 0x7F) << token;
  }
}

// --- The judge's arithmetic ---------------------------------------------------

TEST(SecondJudgeTest, CombineIsSymmetricAndNeutralWithoutClues) {
  EXPECT_DOUBLE_EQ(SecondJudge::Combine({}), 0.5);
  const std::vector<double> spammy = {0.99, 0.95, 0.9, 0.2};
  const std::vector<double> mirrored = {0.01, 0.05, 0.1, 0.8};
  EXPECT_NEAR(SecondJudge::Combine(spammy) + SecondJudge::Combine(mirrored), 1.0, 1e-12);
  EXPECT_GT(SecondJudge::Combine(spammy), 0.9);
  // Thousands of extreme clues neither overflow nor lose the answer.
  EXPECT_NEAR(SecondJudge::Combine(std::vector<double>(5000, 1e-6)), 0.0, 1e-9);
  EXPECT_NEAR(SecondJudge::Combine(std::vector<double>(5000, 1.0 - 1e-6)), 1.0, 1e-9);
}

TEST(SecondJudgeTest, TokenProbabilityStaysNearUnknownWhenRare) {
  JudgeParameters p;
  p.goodWeight = 1;
  p.strength = 1;
  p.unknown = 0.5;
  EXPECT_DOUBLE_EQ(SecondJudge::TokenProbability(0, 0, 10, 10, p), 0.5);
  EXPECT_DOUBLE_EQ(SecondJudge::TokenProbability(1, 0, 10, 10, p), 0.75);  // (0.5 + 1) / 2
  EXPECT_GT(SecondJudge::TokenProbability(100, 0, 100, 100, p), 0.99);
  EXPECT_LT(SecondJudge::TokenProbability(0, 100, 100, 100, p), 0.01);
  p.goodWeight = 3;  // good mail weighs more: an even token leans good
  EXPECT_DOUBLE_EQ(SecondJudge::TokenProbability(5, 5, 10, 10, p), (0.5 + 10 * 0.25) / 11);
}

// The estimate written over one denominator agrees with its definition:
// rates per side, their share, then the prior.
TEST(SecondJudgeTest, TokenProbabilityAgreesWithItsDefinition) {
  const auto defined = [](double s, double c, double ns, double nc, const JudgeParameters& p) {
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
      JudgeParameters p;
      p.goodWeight = weight;
      p.strength = strength;
      p.unknown = 0.4;
      for (std::int32_t s : counts)
        for (std::int32_t c : counts)
          for (std::int32_t ns : messages)
            for (std::int32_t nc : messages) {
              const double expected = defined(s, c, ns, nc, p);
              EXPECT_NEAR(SecondJudge::TokenProbability(s, c, ns, nc, p), expected,
                          1e-12 * std::max(expected, 1e-6))
                  << s << " " << c << " " << ns << " " << nc << " w " << weight;
            }
    }
  }
}

TEST(SecondJudgeTest, ScoreAbove90ExactlyWhenAboveTheCutoff) {
  struct Case {
    double indicator;
    std::int32_t score;
  };
  const Case cases[] = {{0.0, 0}, {0.25, 45}, {0.5, 90}, {0.5000001, 91}, {0.95, 100}, {1.0, 100}};
  for (const Case& c : cases)
    EXPECT_EQ(SecondJudge::ScoreOf(c.indicator, 0.5), c.score) << c.indicator;
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

TEST(SecondJudgeTest, CombineMatchesTheChiSquareSumOnBothSidesOfItsRange) {
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
    EXPECT_NEAR(SecondJudge::Combine(probabilities), ReferenceIndicator(probabilities), 1e-9)
        << c.clues << " clues of " << c.probability;
  }
  // With one clue the indicator is the clue itself.
  EXPECT_NEAR(SecondJudge::Combine(std::vector<double>{0.37}), 0.37, 1e-12);
}

TEST(SecondJudgeTest, JudgeCombinesTheFarthestCluesEquallyFarOnesInTokenOrder) {
  FakePlatform fake;
  SecondJudge judge(fake);
  const auto learn = [&](std::initializer_list<const char*> tokens, Side side) {
    WordTable words;
    for (const char* token : tokens)
      words.Insert(token);
    judge.Learn(words, TokenSet(), side, 1);
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
  TokenSet extra;
  extra.Add("from:@never.example");
  // Fixed here rather than the code's defaults, which tuning may change.
  JudgeParameters base;
  base.goodWeight = 2.0;
  base.strength = 0.1;
  base.unknown = 0.4;
  const auto f = [&](const char* token) {
    const WordEntry* entry = judge.table().Find(token);
    return SecondJudge::TokenProbability(entry->spamCount, entry->cleanCount, judge.spamMessages(),
                                         judge.cleanMessages(), base);
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
    JudgeParameters parameters = base;
    parameters.maxClues = c.maxClues;
    parameters.minDeviation = c.minDeviation;
    const JudgeVerdict verdict = judge.Judge(words, extra.keys(), parameters);
    std::vector<std::string> top;
    for (const Clue& clue : verdict.top)
      top.emplace_back(clue.token);
    EXPECT_EQ(top, c.top) << c.maxClues << " " << c.minDeviation;
    std::vector<double> combined;
    for (const char* token : c.combined)
      combined.push_back(f(token));
    EXPECT_EQ(verdict.indicator, SecondJudge::Combine(combined)) << c.maxClues;
  }
}

// --- Through the filter -------------------------------------------------------

class SecondJudgeFilterTest : public ::testing::Test {
 protected:
  SecondJudgeFilterTest() {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kWordFilePath, kDatabase);
  }

  BayesianFilter& Started() {
    filter.reset();  // saves the one before
    filter = std::make_unique<BayesianFilter>(fake);
    filter->Initialize();
    return *filter;
  }

  void Teach(BayesianFilter& f, int rounds) {
    for (int i = 0; i < rounds; ++i) {
      f.Learn("cheap pills offer now buy viagra online pharmacy", "Cheap pills", 1, kSpamHeaders);
      f.Learn("meeting notes for the project review tomorrow lunch", "Project review", 0,
              kGoodHeaders);
    }
  }

  void SwitchOn(bool on) { fake.registry.SetDword(setting::kSecondJudge, on ? 1 : 0); }

  FakePlatform fake;
  std::unique_ptr<BayesianFilter> filter;
};

TEST_F(SecondJudgeFilterTest, DefaultSettingWritesNoCompanionAndTheSameDatabase) {
  Teach(Started(), 3);
  filter->Save();
  const std::string with_headers = fake.files.files.at(kDatabase);
  EXPECT_EQ(fake.files.files.count(kCompanion), 0u);

  // The same lessons without headers give the same word database bytes.
  FakePlatform other;
  other.registry.CreateKey();
  other.registry.SetString(setting::kWordFilePath, kDatabase);
  {
    BayesianFilter plain(other);
    plain.Initialize();
    for (int i = 0; i < 3; ++i) {
      plain.Learn("cheap pills offer now buy viagra online pharmacy", "Cheap pills", 1);
      plain.Learn("meeting notes for the project review tomorrow lunch", "Project review", 0);
    }
    plain.Save();
  }
  EXPECT_EQ(other.files.files.at(kDatabase), with_headers);
}

TEST_F(SecondJudgeFilterTest, SecondJudgeDecidesWithTheSameStamps) {
  SwitchOn(true);
  Teach(Started(), 5);
  MessageInfo info;
  info.subject = "Cheap pills";
  info.headers = kSpamHeaders;
  EXPECT_EQ(filter->Classify("buy viagra online", info), 1);
  EXPECT_GT(info.score, 90);
  EXPECT_LE(info.score, 100);
  EXPECT_EQ(info.verdictText, "Spam");
  EXPECT_NE(info.topWords.find(" from:@cheap-pills.example 9"), std::string::npos) << info.topWords;
  ASSERT_GE(info.topWords.size(), 2u);
  EXPECT_EQ(info.topWords.substr(info.topWords.size() - 2), "\r\n");

  MessageInfo good;
  good.subject = "Project review";
  good.headers = kGoodHeaders;
  EXPECT_EQ(filter->Classify("notes for the meeting", good), 0);
  EXPECT_LE(good.score, 90);
  EXPECT_EQ(good.verdictText, "Clean");

  MessageInfo foreign;
  foreign.subject = "\xE4\xBD\xA0\xE5\xA5\xBD";
  EXPECT_EQ(filter->Classify("meeting", foreign), 1);
  EXPECT_EQ(foreign.nonEnglish, 1) << "the non-English rule still comes first";
}

TEST_F(SecondJudgeFilterTest, SwitchingBackAndForthKeepsEveryLesson) {
  // The setting changes between runs, as `varnox settings set` does.
  SwitchOn(true);
  Teach(Started(), 2);
  filter.reset();
  SwitchOn(false);
  Teach(Started(), 3);  // learned while off, saved because the file exists
  filter.reset();
  SwitchOn(true);
  const SecondJudge& judge = Started().secondJudge();
  EXPECT_EQ(judge.spamMessages(), 5);
  EXPECT_EQ(judge.cleanMessages(), 5);
  const WordEntry* sender = judge.table().Find("from:@cheap-pills.example");
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(sender->spamCount, 5);
  EXPECT_EQ(filter->SpamMessages(), 5) << "the classic counts are there too";
}

TEST_F(SecondJudgeFilterTest, SavesAfterTeachingNeverAgeTheCompanion) {
  // The companion ages with the word database: at Empty and teardown only,
  // never at the saves made after each lesson.
  constexpr std::int32_t kDay = 86400;
  SwitchOn(true);
  Teach(Started(), 1);
  filter.reset();
  Started();
  for (int day = 1; day <= 30; ++day) {
    fake.clock.Advance(kDay);
    filter->Learn("daily lesson", "", day % 2);
    ASSERT_EQ(filter->Save(), 1);
    const WordEntry* sender = filter->secondJudge().table().Find("from:@cheap-pills.example");
    ASSERT_NE(sender, nullptr) << "day " << day;
    ASSERT_EQ(sender->spamCount, 1) << "day " << day;
  }
  Started();  // the teardown save ages the tokens unseen for ten days
  EXPECT_EQ(filter->secondJudge().table().Find("from:@cheap-pills.example"), nullptr);
}

TEST_F(SecondJudgeFilterTest, SwitchedOnOverAnOlderDatabaseItStartsFromTheClassicCounts) {
  Teach(Started(), 4);  // never switched on: no companion
  SwitchOn(true);
  MessageInfo info;
  info.subject = "Cheap pills";
  EXPECT_EQ(Started().Classify("buy viagra online pharmacy", info), 1);
  const WordEntry* word = filter->secondJudge().table().Find("viagra");
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(word->spamCount, 4);
  EXPECT_EQ(word->cleanCount, 0);
}

TEST_F(SecondJudgeFilterTest, RelearnMovesTheTokensOnceAndNeverBelowZero) {
  SwitchOn(true);
  BayesianFilter& f = Started();
  f.Learn("cheap pills", "offer", 1, kSpamHeaders);
  f.Relearn("cheap pills", "offer", 0, kSpamHeaders);
  f.Relearn("cheap pills", "offer", 0, kSpamHeaders);
  const WordEntry* sender = f.secondJudge().table().Find("from:@cheap-pills.example");
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(sender->spamCount, 0);
  EXPECT_EQ(sender->cleanCount, 2);
  EXPECT_EQ(f.secondJudge().spamMessages(), 0);
  EXPECT_EQ(f.secondJudge().cleanMessages(), 2);
}

TEST_F(SecondJudgeFilterTest, EmptyForgetsTheTokensToo) {
  SwitchOn(true);
  Teach(Started(), 2);
  filter->Empty();
  EXPECT_EQ(filter->secondJudge().table().size(), 0u);
  Started();
  EXPECT_EQ(filter->secondJudge().table().size(), 0u);
  EXPECT_EQ(filter->secondJudge().spamMessages(), 2) << "message counts stay, as classic";
}

// --- Companion file -----------------------------------------------------------

class CompanionFileTest : public ::testing::Test {
 protected:
  SecondJudge Judge() {
    SecondJudge judge(fake);
    judge.set_path(kCompanion);
    return judge;
  }
  FakePlatform fake;
};

TEST_F(CompanionFileTest, SavedMaskedAndReadBack) {
  SecondJudge judge = Judge();
  WordTable words;
  TokenSet extra;
  words.Insert("offer");
  extra.Add("from:@x.example");
  judge.Learn(words, extra, Side::kSpam, 1'700'000'000);
  judge.Learn(words, TokenSet(), Side::kClean, 1'700'000'100);
  ASSERT_EQ(judge.Save(false, 1'700'000'200), 1);
  EXPECT_EQ(Unmasked(fake.files.files.at(kCompanion)),
            "Varnox second judge = 1\nSpam = 1\nClean = 1\n"
            "1 0 1700000000 from:@x.example\n1 1 1700000100 offer\n");
  SecondJudge read = Judge();
  ASSERT_EQ(read.Load(), 1);
  EXPECT_TRUE(read.table() == judge.table());
  EXPECT_EQ(read.spamMessages(), 1);
  EXPECT_EQ(read.cleanMessages(), 1);
}

TEST_F(CompanionFileTest, DamagedLinesAreSkipped) {
  fake.files.files[kCompanion] = Masked(
      "Varnox second judge = 1\nSpam = 3\nClean = x\n"
      "2 1 5 good\n-1 2 5 negative\n1 1 tab\there\n0 0 5 zero\n1 2\n"
      "1 1 5 " +
      std::string(300, 'a') + "\n4 0 0 timeless\n1 0 5 good");
  SecondJudge judge = Judge();
  ASSERT_EQ(judge.Load(), 1);
  EXPECT_EQ(TokensOf(judge.table()), (std::vector<std::string>{"good", "timeless"}));
  EXPECT_EQ(judge.table().Find("good")->spamCount, 3) << "two lines of one token add up";
  EXPECT_EQ(judge.table().Find("timeless")->lastSeen, 1'700'000'000) << "load time";
  EXPECT_EQ(judge.spamMessages(), 3);
  EXPECT_EQ(judge.cleanMessages(), 0);
}

TEST_F(CompanionFileTest, AFileThatIsNotOursOrUnreadableIsNeverOverwritten) {
  fake.files.files[kCompanion] = "plain text, not masked";
  SecondJudge judge = Judge();
  EXPECT_EQ(judge.Load(), 0);
  EXPECT_EQ(judge.Save(false, 1), 0);
  EXPECT_EQ(fake.files.files.at(kCompanion), "plain text, not masked");

  fake.files.unreadable.push_back(kCompanion);
  SecondJudge locked = Judge();
  EXPECT_EQ(locked.Load(), 0);
  EXPECT_TRUE(locked.onDisk());
  EXPECT_EQ(locked.Save(false, 1), 0);
  EXPECT_EQ(fake.files.replace_calls, 0);
}

TEST_F(CompanionFileTest, FailedWriteKeepsTableAndOldFile) {
  SecondJudge judge = Judge();
  WordTable words;
  words.Insert("old");
  judge.Learn(words, TokenSet(), Side::kSpam, 1);
  fake.files.files[kCompanion] = "before";
  fake.files.fail_all_writes = true;
  EXPECT_EQ(judge.Save(true, 2'000'000'000), 0);
  EXPECT_EQ(fake.files.files.at(kCompanion), "before");
  ASSERT_NE(judge.table().Find("old"), nullptr) << "aging is applied only once on disk";
}

TEST_F(CompanionFileTest, AgingTakesOneFromTokensUnseenForTenDays) {
  SecondJudge judge = Judge();
  const std::int32_t now = 1'700'000'000;
  const std::int32_t old = now - static_cast<std::int32_t>(BayesianCore::kAgingAge) - 1;
  WordTable once, twice;
  once.Insert("once");
  twice.Insert("twice");
  judge.Learn(once, TokenSet(), Side::kSpam, old);
  judge.Learn(twice, TokenSet(), Side::kSpam, old);
  judge.Learn(twice, TokenSet(), Side::kSpam, old);
  judge.Learn(twice, TokenSet(), Side::kClean, old);
  judge.Learn(WordTable(), TokenSet(), Side::kSpam, now);
  WordTable recent;
  recent.Insert("recent");
  judge.Learn(recent, TokenSet(), Side::kClean, now);

  ASSERT_EQ(judge.Save(false, now), 1);
  EXPECT_EQ(judge.table().size(), 3u) << "no aging when it is not due";
  ASSERT_EQ(judge.Save(true, now), 1);
  EXPECT_EQ(judge.table().Find("once"), nullptr) << "1 and 0 become 0 and 0: it goes";
  ASSERT_NE(judge.table().Find("twice"), nullptr);
  EXPECT_EQ(judge.table().Find("twice")->spamCount, 1);
  EXPECT_EQ(judge.table().Find("twice")->cleanCount, 0);
  ASSERT_NE(judge.table().Find("recent"), nullptr);
  EXPECT_EQ(judge.table().Find("recent")->cleanCount, 1);
  EXPECT_EQ(judge.table().size(), 2u);
}

}  // namespace
}  // namespace varnox

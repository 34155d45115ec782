#include "engine/bayesian_filter.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::kGoodHeaders;
using testing::kSpamHeaders;
using testing::Masked;
using testing::Unmasked;

constexpr char kDatabase[] = "/words.db";
constexpr char kChiSquareFile[] = "/words.db.second";

class BayesianFilterTest : public ::testing::Test {
 protected:
  BayesianFilterTest() {
    fake.registry.CreateKey();
    fake.registry.SetString(setting::kWordFilePath, "/words.db");
    fake.registry.SetString(setting::kIgnoreFilePath, "/ignore.txt");
  }

  BayesianFilter& Started() {
    filter = std::make_unique<BayesianFilter>(fake);
    EXPECT_EQ(filter->Initialize(), 1);
    return *filter;
  }

  void Put(const std::string& word, std::int32_t spam, std::int32_t clean, float probability) {
    filter->core().mutable_words().Insert(word, WordEntry{spam, clean, probability, 1});
  }

  FakePlatform fake;
  std::unique_ptr<BayesianFilter> filter;
};

TEST_F(BayesianFilterTest, EmptyMessageIsCleanWithScore0) {
  MessageInfo info;
  EXPECT_EQ(Started().Classify("", info), 0);
  EXPECT_EQ(info.score, 0);
  EXPECT_EQ(info.isSpam, 0);
  EXPECT_EQ(info.scored, 1);
  EXPECT_EQ(info.nonEnglish, 0);
  EXPECT_EQ(info.verdictText, "Clean");
  EXPECT_EQ(info.topWords, "");
  EXPECT_TRUE(info.words.empty());
}

TEST_F(BayesianFilterTest, NonEnglishRule) {
  struct Case {
    std::string subject, body;
    bool fires;
  };
  const Case cases[] = {
      {"\xE4\xBD\xA0 hello", "", true},        {"hi", "body \xC3\xA9\xC3 end", true},
      {"caf\xE9 cr\xE8me", "na\xEFve", false}, {"two \xE9\xE9 only", "", false},
      {"ends \xE9\xE9", "\xE9 starts", false},  // subject and body are tested apart
  };
  for (const Case& c : cases) {
    MessageInfo info;
    info.subject = c.subject;
    info.score = 77;
    info.verdictText = "untouched";
    const int verdict = Started().Classify(c.body, info);
    EXPECT_EQ(info.nonEnglish, c.fires ? 1 : 0) << c.subject;
    if (c.fires) {
      EXPECT_EQ(verdict, 1);
      EXPECT_EQ(info.score, 77);
      EXPECT_EQ(info.verdictText, "untouched");
      EXPECT_EQ(info.scored, 0);
    } else {
      EXPECT_EQ(info.scored, 1) << c.subject;
    }
  }
}

TEST(NonEnglishRunTest, FindsThreeHighBytesInARowAnywhere) {
  for (std::size_t at = 0; at + 3 <= 40; ++at) {
    std::string text(40, 'a');
    text.replace(at, 3, "\xE9\xE8\xEA");
    EXPECT_TRUE(BayesianFilter::HasNonEnglishRun(text)) << at;
    text[at + 1] = 'b';
    EXPECT_FALSE(BayesianFilter::HasNonEnglishRun(text)) << at;
  }
  std::string pairs;
  for (int i = 0; i < 20; ++i)
    pairs += "\xE9\xE9 ";
  EXPECT_FALSE(BayesianFilter::HasNonEnglishRun(pairs));
  EXPECT_TRUE(BayesianFilter::HasNonEnglishRun(pairs + "\xE9\xE9\xE9"));
  EXPECT_FALSE(BayesianFilter::HasNonEnglishRun(""));
}

TEST_F(BayesianFilterTest, ClassifyFillsTheRecord) {
  Started();
  Put("cash", 30, 0, 0.2f);    // 0.9999
  Put("meeting", 0, 8, 0.2f);  // 0.0002
  MessageInfo info;
  info.subject = "Cash";
  EXPECT_EQ(filter->Classify("meeting", info), 0);
  EXPECT_EQ(info.score, 66);
  EXPECT_EQ(info.verdictText, "Clean");
  EXPECT_EQ(info.topWords, " cash 99 meeting 0\r\n");
  EXPECT_EQ(testing::Occurrences(info.words),
            (std::vector<std::pair<std::string, int>>{{"cash", 1}, {"meeting", 1}}));

  MessageInfo unknown;
  EXPECT_EQ(filter->Classify("brand new words", unknown), 0);
  EXPECT_EQ(unknown.score, 50);
  EXPECT_EQ(unknown.topWords, " brand 50 new 50 words 50\r\n");

  Put("pills", 40, 0, 0.2f);
  MessageInfo spam;
  spam.subject = "cheap pills";
  EXPECT_EQ(filter->Classify("pills pills cash", spam), 1);
  EXPECT_EQ(spam.isSpam, 1);
  EXPECT_EQ(spam.verdictText, "Spam");
  EXPECT_EQ(spam.score, 100);  // Q = 0.0001 * 0.0001 * 0.5 vanishes beside P
}

TEST_F(BayesianFilterTest, InitializeCreatesAMissingDatabase) {
  Started();
  ASSERT_EQ(fake.files.files.count("/words.db"), 1u);
  EXPECT_EQ(Unmasked(fake.files.files["/words.db"]), "Version = 1.01\nSpam = 0\nClean = 0\n");
  EXPECT_EQ(filter->core().saved(), 1);
  EXPECT_EQ(filter->core().lastAgingTime(), 1'700'000'000);
  EXPECT_EQ(filter->core().ignorePath(), "/ignore.txt");
}

TEST_F(BayesianFilterTest, InitializeLoadsBothFiles) {
  fake.files.files["/words.db"] =
      Masked("Version = 1.01\nSpam = 3\nClean = 4\nmoney = 5,1,0.9,7\n");
  fake.files.files["/ignore.txt"] = "the and";
  Started();
  EXPECT_EQ(filter->WordCount(), 1u);
  EXPECT_EQ(filter->SpamMessages(), 3);
  EXPECT_EQ(filter->CleanMessages(), 4);
  EXPECT_EQ(filter->core().IsIgnored("and"), 1);
}

TEST_F(BayesianFilterTest, WithoutSettingsNothingIsReadOrWritten) {
  fake.registry.DeleteKey();
  Started().Learn("some words here", "subject", 1);
  filter.reset();
  EXPECT_TRUE(fake.files.files.empty());
  EXPECT_EQ(fake.files.replace_calls, 0);
  EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(BayesianFilterTest, TooLongPathReadsAsAbsent) {
  fake.registry.SetString(setting::kWordFilePath, std::string(260, 'p'));
  Started();
  EXPECT_EQ(filter->core().databasePath(), "");
  fake.registry.SetString(setting::kWordFilePath, std::string(259, 'p'));
  Started();
  EXPECT_EQ(filter->core().databasePath(), std::string(259, 'p'));
}

TEST_F(BayesianFilterTest, UnreadableDatabaseIsNotReplacedAtStartOrEnd) {
  const std::string stored = Masked("Version = 1.01\nSpam = 9\nClean = 9\nprecious = 9,9,0.5,9\n");
  fake.files.files["/words.db"] = stored;
  fake.files.unreadable.push_back("/words.db");
  Started().Learn("new words", "", 1);
  filter.reset();
  EXPECT_EQ(fake.files.files["/words.db"], stored);
  ASSERT_EQ(fake.ui.messages.size(), 2u);
  EXPECT_EQ(fake.ui.messages[0].text.rfind("Cannot read database (/words.db). ", 0), 0u);
  EXPECT_EQ(fake.ui.messages[1].text, "Cannot save database (/words.db)");
}

TEST_F(BayesianFilterTest, DatabaseNotWholeAtStartIsReported) {
  const std::string header = "Version = 1.01\nSpam = 3\nClean = 4\n";
  struct Case {
    const char* what;
    std::optional<std::string> text;  // absent: no file
    bool unreadable;
    const char* shown;  // how the message begins; "" for none
    std::size_t words;
  };
  const Case cases[] = {
      {"whole", header + "money = 5,1,0.9,7\n", false, "", 1},
      {"header only", header, false, "", 0},
      {"absent", std::nullopt, false, "", 0},
      {"unreadable", header + "money = 5,1,0.9,7\n", true, "Cannot read database (/words.db). ", 0},
      {"last line without line feed", header + "money = 5,1,0.9,7\noffer = 2,0,0.9", false,
       "Database cut short (/words.db). ", 2},
      {"Clean line missing", "Version = 1.01\nSpam = 3\nmoney = 5,1,0.9,7\n", false,
       "Database cut short (/words.db). ", 1},
      {"Spam line missing", "Clean = 4\nmoney = 5,1,0.9,7\n", false,
       "Database cut short (/words.db). ", 1},
      {"empty", "", false, "Database cut short (/words.db). ", 0},
      {"random bytes", std::string("\x8f\x01=\xfe\n\x00 q=1,2\n\xc3", 14), false,
       "Not a word database (/words.db). ", 1},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.registry.CreateKey();
    fresh.registry.SetString(setting::kWordFilePath, "/words.db");
    if (c.text)
      fresh.files.files["/words.db"] = Masked(*c.text);
    if (c.unreadable)
      fresh.files.unreadable.push_back("/words.db");
    BayesianFilter started(fresh);
    started.Initialize();
    EXPECT_EQ(started.WordCount(), c.words) << c.what;
    if (*c.shown == '\0') {
      EXPECT_TRUE(fresh.ui.messages.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(fresh.ui.messages.size(), 1u) << c.what;
    EXPECT_EQ(fresh.ui.messages[0].text.rfind(c.shown, 0), 0u) << fresh.ui.messages[0].text;
    EXPECT_EQ(fresh.ui.messages[0].caption, "Bayesian Plugin Error");
    EXPECT_EQ(fresh.ui.messages[0].flags, kMbOk | kMbIconWarning | kMbSetForeground | kMbTopmost);
  }
}

TEST_F(BayesianFilterTest, InitializeClearsAbandonedCopiesBeforeReading) {
  Started();
  EXPECT_EQ(fake.files.cleaned,
            (std::vector<std::string>{"/words.db.second", "/words.db.second.image", "/words.db",
                                      "/words.db.image", "/ignore.txt"}));
}

TEST_F(BayesianFilterTest, EmptyClearsWordsAndKeepsMessageCounts) {
  Started();
  filter->Learn("offer cash", "win", 1);
  filter->Learn("meeting notes", "lunch", 0);
  EXPECT_EQ(filter->Empty(), 1);
  EXPECT_EQ(filter->WordCount(), 0u);
  EXPECT_EQ(Unmasked(fake.files.files["/words.db"]), "Version = 1.01\nSpam = 1\nClean = 1\n");
}

TEST_F(BayesianFilterTest, EmptyWhoseSaveFailsReportsNotSaved) {
  fake.files.files["/words.db"] =
      Masked("Version = 1.01\nSpam = 1\nClean = 1\nmoney = 5,1,0.9,7\n");
  Started();
  ASSERT_EQ(filter->core().saved(), 1);
  fake.files.unwritable.push_back("/words.db");
  EXPECT_EQ(filter->Empty(), 0);
  EXPECT_EQ(filter->WordCount(), 0u);
}

TEST_F(BayesianFilterTest, TeardownSavesDatabaseThenIgnoreList) {
  Started().Learn("offer offer", "cash", 1);
  EXPECT_EQ(filter->Save(), 1);
  filter->Learn("more", "", 1);
  const int writes_before = fake.files.replace_calls;
  filter.reset();
  EXPECT_EQ(fake.files.replace_calls, writes_before + 3) << "the file, its image, the ignore list";
  EXPECT_EQ(fake.files.files.at("/ignore.txt"), "");  // absent at start: created
  const std::string text = Unmasked(fake.files.files["/words.db"]);
  EXPECT_NE(text.find("Spam = 2\n"), std::string::npos);
  EXPECT_NE(text.find("more = 1,0,"), std::string::npos);
  EXPECT_NE(text.find("offer = 2,0,"), std::string::npos);
}

// A host left open for a month, taught every day: only the teardown ages.
TEST_F(BayesianFilterTest, SavesAfterTeachingNeverAge) {
  constexpr std::int32_t kDay = 86400;
  const std::int32_t start = fake.clock.Now();
  fake.files.files["/words.db"] = Masked("Version = 1.01\nSpam = 9\nClean = 9\nancient = 3,2,0.5," +
                                         std::to_string(start - 20 * kDay) + "\n");
  Started();
  for (int day = 1; day <= 30; ++day) {
    fake.clock.Advance(kDay);
    filter->Learn("daily lesson", "", day % 2);
    ASSERT_EQ(filter->Save(), 1);
    const std::string text = Unmasked(fake.files.files["/words.db"]);
    ASSERT_NE(text.find("\nancient = 3,2,"), std::string::npos) << "day " << day;
    ASSERT_EQ(filter->core().lastAgingTime(), start) << "day " << day;
  }
  filter.reset();
  EXPECT_NE(Unmasked(fake.files.files["/words.db"]).find("\nancient = 2,1,"), std::string::npos);
}

TEST_F(BayesianFilterTest, LearnAndRelearnWithoutWords) {
  Started();
  EXPECT_EQ(filter->Learn("", "", 1), 1);
  EXPECT_EQ(filter->SpamMessages(), 1);
  EXPECT_EQ(filter->Learn("a b", "!!", 0), 1);
  EXPECT_EQ(filter->CleanMessages(), 1);
  EXPECT_EQ(filter->Relearn("a b", "", 0), 0);
  EXPECT_EQ(filter->SpamMessages(), 1);
  EXPECT_EQ(filter->CleanMessages(), 1);
  EXPECT_EQ(filter->WordCount(), 0u);
}

TEST_F(BayesianFilterTest, RelearnToCleanRetrainsUntilScore45OrLess) {
  Started();
  const std::string body = "quarterly report attached for review";
  for (int i = 0; i < 3; ++i)
    filter->Learn(body, "report", 1);
  filter->Learn("lunch menu today", "lunch", 0);
  MessageInfo before;
  before.subject = "report";
  ASSERT_EQ(filter->Classify(body, before), 1);

  // After the move "report" has 4 and 2 against 2 spam and 2 clean
  // messages (0.5) and the rest are too rare: 50. One clean pass makes
  // "report" 4 and 4 against 2 and 3 (0.43): 42.
  const int passes = filter->Relearn(body, "report", 0);
  EXPECT_EQ(passes, 1);
  MessageInfo after;
  after.subject = "report";
  EXPECT_EQ(filter->Classify(body, after), 0);
  EXPECT_LE(after.score, 45);
  EXPECT_EQ(filter->CleanMessages(), 1 + passes + 1);
  EXPECT_EQ(filter->SpamMessages(), 2);
}

TEST_F(BayesianFilterTest, RelearnToSpamRetrainsUntilScoreAbove90) {
  Started();
  const std::string body = "cheap watches shipped overnight";
  filter->Learn(body, "watches", 0);
  // After the move each word has spam count 1 ("watches" 2) and clean count
  // 0: too rare to count. Two spam passes take "watches" to 6 (0.9998): 99.
  EXPECT_EQ(filter->Relearn(body, "watches", 1), 2);
  MessageInfo info;
  info.subject = "watches";
  EXPECT_EQ(filter->Classify(body, info), 1);
  EXPECT_GT(info.score, 90);
  EXPECT_EQ(filter->SpamMessages(), 3);
  EXPECT_EQ(filter->CleanMessages(), 0);
  EXPECT_EQ(filter->core().words().Find("cheap")->cleanCount, 0);
}

TEST_F(BayesianFilterTest, BeforeInitializeNothingIsSaved) {
  filter = std::make_unique<BayesianFilter>(fake);
  EXPECT_EQ(filter->Learn("words to learn", "", 1), 1);
  EXPECT_EQ(filter->WordCount(), 2u);  // "to" is too short
  filter.reset();
  EXPECT_EQ(fake.files.replace_calls, 0);
}

// --- The choice of the judges ---------------------------------------------------

class JudgeChoiceTest : public ::testing::Test {
 protected:
  JudgeChoiceTest() {
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

TEST_F(JudgeChoiceTest, DefaultSettingWritesNoChiSquareFileAndTheSameDatabase) {
  Teach(Started(), 3);
  filter->Save();
  const std::string with_headers = fake.files.files.at(kDatabase);
  EXPECT_EQ(fake.files.files.count(kChiSquareFile), 0u);

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

TEST_F(JudgeChoiceTest, ChiSquareJudgeDecidesWithTheSameStamps) {
  SwitchOn(true);
  Teach(Started(), 5);
  MessageInfo info;
  info.subject = "Cheap pills";
  info.headers = kSpamHeaders;
  EXPECT_EQ(filter->Classify("buy viagra online", info), 1);
  EXPECT_GT(info.score, 90);
  EXPECT_LE(info.score, 100);
  EXPECT_EQ(info.verdictText, "Spam");
  EXPECT_EQ(info.chiSquare, 1) << "the record says which judge decided";
  // Seen in five spam messages: (2 x 0.5 + 5) / (2 + 5), the prior's strength 2.
  EXPECT_NE(info.topWords.find(" from:@cheap-pills.example 85"), std::string::npos)
      << info.topWords;
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
  EXPECT_EQ(foreign.chiSquare, 0);
}

// "I don't know" is not spam: a family message on a database that knows
// none of its words, and the same right after the judge was switched on
// over an older database and learned one spam message from the same relay.
TEST_F(JudgeChoiceTest, NoEvidenceOrOneRelayTokenIsNotSpam) {
  constexpr char kRelayed[] =
      "Received: from relay.isp.example (relay.isp.example [192.0.2.9])\r\n"
      "\tby mx.home.example\r\n";
  const std::string family = std::string(kRelayed) + "From: Mum <mum@family.example>\r\n";
  for (const bool after_switching : {false, true}) {
    fake.files.files.clear();
    SwitchOn(!after_switching);
    Teach(Started(), 3);
    if (after_switching) {
      SwitchOn(true);
      Started().Learn("limited offer", "act now", 1, std::string(kRelayed) + kSpamHeaders);
    }
    MessageInfo dinner;
    dinner.subject = "Re: dinner";
    dinner.headers = family;
    EXPECT_EQ(filter->Classify("Sure, see you Sunday", dinner), 0) << after_switching;
    EXPECT_EQ(dinner.chiSquare, 1);
    EXPECT_LE(dinner.score, 90) << dinner.topWords;
    if (!after_switching) {
      EXPECT_EQ(dinner.score, 50) << "no evidence either way";
    }
  }
}

TEST_F(JudgeChoiceTest, SwitchingBackAndForthKeepsEveryLesson) {
  // The setting changes between runs, as `varnox settings set` does.
  SwitchOn(true);
  Teach(Started(), 2);
  filter.reset();
  SwitchOn(false);
  Teach(Started(), 3);  // learned while off, saved because the file exists
  filter.reset();
  SwitchOn(true);
  const ChiSquareJudge& judge = Started().chiSquareJudge();
  EXPECT_EQ(judge.spamMessages(), 5);
  EXPECT_EQ(judge.cleanMessages(), 5);
  const WordEntry* sender = judge.table().Find("from:@cheap-pills.example");
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(sender->spamCount, 5);
  EXPECT_EQ(filter->SpamMessages(), 5) << "the classic counts are there too";
}

TEST_F(JudgeChoiceTest, SavesAfterTeachingNeverAgeTheChiSquareFile) {
  // The chi-square judge's file ages with the word database: at Empty and
  // teardown only, never at the saves made after each lesson.
  constexpr std::int32_t kDay = 86400;
  SwitchOn(true);
  Teach(Started(), 1);
  filter.reset();
  Started();
  for (int day = 1; day <= 30; ++day) {
    fake.clock.Advance(kDay);
    filter->Learn("daily lesson", "", day % 2);
    ASSERT_EQ(filter->Save(), 1);
    const WordEntry* sender = filter->chiSquareJudge().table().Find("from:@cheap-pills.example");
    ASSERT_NE(sender, nullptr) << "day " << day;
    ASSERT_EQ(sender->spamCount, 1) << "day " << day;
  }
  Started();  // the teardown save ages the tokens unseen for ten days
  EXPECT_EQ(filter->chiSquareJudge().table().Find("from:@cheap-pills.example"), nullptr);
}

TEST_F(JudgeChoiceTest, SwitchedOnOverAnOlderDatabaseItStartsFromTheClassicCounts) {
  Teach(Started(), 4);  // never switched on: no file of its own
  SwitchOn(true);
  MessageInfo info;
  info.subject = "Cheap pills";
  EXPECT_EQ(Started().Classify("buy viagra online pharmacy", info), 1);
  const WordEntry* word = filter->chiSquareJudge().table().Find("viagra");
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(word->spamCount, 4);
  EXPECT_EQ(word->cleanCount, 0);
}

TEST_F(JudgeChoiceTest, RelearnMovesTheTokensOnceAndNeverBelowZero) {
  SwitchOn(true);
  BayesianFilter& f = Started();
  f.Learn("cheap pills", "offer", 1, kSpamHeaders);
  f.Relearn("cheap pills", "offer", 0, kSpamHeaders);
  f.Relearn("cheap pills", "offer", 0, kSpamHeaders);
  const WordEntry* sender = f.chiSquareJudge().table().Find("from:@cheap-pills.example");
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(sender->spamCount, 0);
  EXPECT_EQ(sender->cleanCount, 2);
  EXPECT_EQ(f.chiSquareJudge().spamMessages(), 0);
  EXPECT_EQ(f.chiSquareJudge().cleanMessages(), 2);
}

TEST_F(JudgeChoiceTest, EmptyForgetsTheTokensToo) {
  SwitchOn(true);
  Teach(Started(), 2);
  filter->Empty();
  EXPECT_EQ(filter->chiSquareJudge().table().size(), 0u);
  Started();
  EXPECT_EQ(filter->chiSquareJudge().table().size(), 0u);
  EXPECT_EQ(filter->chiSquareJudge().spamMessages(), 2) << "message counts stay, as classic";
}

// A file of the chi-square judge that cannot be read (or is somebody else's)
// is never replaced; said once at the start. Not chosen, the judge then
// learns nothing (nothing it learned could be kept); chosen, it judges from
// the classic counts and what it learns in this run.
TEST_F(JudgeChoiceTest, AFileItCannotReadIsLeftAloneAndToldOnce) {
  struct Case {
    const char* what;
    bool foreign;  // else: there, but cannot be read
    bool on;
  };
  const Case cases[] = {{"foreign, off", true, false},
                        {"foreign, on", true, true},
                        {"unreadable, off", false, false},
                        {"unreadable, on", false, true}};
  for (const Case& c : cases) {
    fake.files.files.clear();
    fake.files.unreadable.clear();
    SwitchOn(false);
    Teach(Started(), 3);
    filter.reset();
    const std::string bytes = c.foreign ? Masked("Some other program = 2\nSpam = 1\n")
                                        : Masked("Varnox second judge = 1\nSpam = 1\n");
    fake.files.files[kChiSquareFile] = bytes;
    if (!c.foreign)
      fake.files.unreadable.push_back(kChiSquareFile);
    fake.ui.messages.clear();

    SwitchOn(c.on);
    Teach(Started(), 2);
    MessageInfo info;
    info.subject = "Cheap pills";
    filter->Classify("buy viagra online", info);
    ASSERT_EQ(fake.ui.messages.size(), 1u) << c.what;
    EXPECT_EQ(fake.ui.messages[0].text,
              "Cannot read the second judge's file (/words.db.second). The file is left as it "
              "is, and what the second judge learns is not saved.")
        << c.what;
    EXPECT_EQ(fake.ui.messages[0].caption, "Bayesian Plugin Error");
    const ChiSquareJudge& judge = filter->chiSquareJudge();
    if (c.on) {
      EXPECT_EQ(judge.spamMessages(), 5) << c.what << ": the classic counts, then two lessons";
      EXPECT_EQ(info.chiSquare, 1) << c.what;
    } else {
      EXPECT_TRUE(judge.table().empty()) << c.what << ": nothing copied or learned";
      EXPECT_EQ(judge.spamMessages(), 0) << c.what;
      EXPECT_EQ(info.chiSquare, 0) << c.what;
    }
    filter.reset();
    EXPECT_EQ(fake.files.files[kChiSquareFile], bytes) << c.what;
    EXPECT_EQ(fake.ui.messages.size(), 1u) << c.what << ": said once";
  }
}

// A filter whose word database is saved nowhere writes no file of the
// chi-square judge either: an empty WordFilePath, or a path cleared after the
// start by a command that only reads (a running watch may be saving it).
TEST_F(JudgeChoiceTest, NoWordDatabaseToSaveNoChiSquareFileWritten) {
  SwitchOn(true);
  fake.files.files[kChiSquareFile] = Masked("Varnox second judge = 1\nSpam = 1\nClean = 1\n");
  const std::string before = fake.files.files[kChiSquareFile];
  Teach(Started(), 2);
  filter->core().set_databasePath("");
  EXPECT_EQ(filter->Save(), 0);
  filter.reset();
  EXPECT_EQ(fake.files.files[kChiSquareFile], before);

  FakePlatform empty_path;
  empty_path.registry.CreateKey();
  empty_path.registry.SetString(setting::kWordFilePath, "");
  empty_path.registry.SetDword(setting::kSecondJudge, 1);
  {
    BayesianFilter nowhere(empty_path);
    nowhere.Initialize();
    Teach(nowhere, 2);
    nowhere.Save();
  }
  EXPECT_TRUE(empty_path.files.files.empty());
  EXPECT_EQ(empty_path.files.replace_calls, 0);
}

}  // namespace
}  // namespace varnox

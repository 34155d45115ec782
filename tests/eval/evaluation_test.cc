// The evaluation on the small corpus in data/eval/: eight good messages and
// six spam, each with a part to play (see the comments in the files' list
// below), copied into a temporary folder so that cases can add to it.
#include "linux/eval/evaluation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "linux/eval/message_source.h"
#include "linux/eval/read_ahead.h"

namespace varnox::eval {
namespace {

namespace fs = std::filesystem;

// The parts the messages play, by position in their folder (even positions
// train, odd ones are judged in the even-odd split):
//   good/g0 g4 g6  plain good mail                       (train)
//   good/g1        good mail with CR LF line ends         (judged clean)
//   good/g2 g3     no Received: line: no transport headers (not learned; not judged)
//   good/g5        carries X-VNX-LEARN:NotSpam            (not judged: learning mark)
//   good/g7        good mail in spam's words              (false positive)
//   spam/s0        mbox envelope line first               (train)
//   spam/s1        HTML only                              (judged spam)
//   spam/s2 s4     plain spam                             (train)
//   spam/s3        Cyrillic subject                       (non-English spam)
//   spam/s5        spam in good mail's words              (false negative)
//   spam/s0.json   not mail: left out
class EvaluationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnox-eval-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::copy(fs::path(std::getenv("VARNOX_TEST_DATA")) / "eval", root, fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(root); }

  EvalOptions Options(Split split, int readers = 0) const {
    EvalOptions options;
    options.sources = {{(root / "spam").string(), MailKind::kSpam},
                       {(root / "good").string(), MailKind::kGood}};
    options.split = split;
    options.readers = readers;
    return options;
  }

  EvalResults Run(const EvalOptions& options) {
    EvalResults results;
    std::string error;
    EXPECT_TRUE(RunEvaluation(options, {}, &results, &error)) << error;
    return results;
  }

  static std::vector<std::string> Names(const std::vector<Misjudged>& list) {
    std::vector<std::string> names;
    for (const Misjudged& message : list)
      names.push_back(fs::path(message.path).filename().string());
    return names;
  }

  static std::size_t Scored(const KindVerdicts& verdicts) {
    return std::accumulate(verdicts.scores.begin(), verdicts.scores.end(), std::size_t{0});
  }

  fs::path root;
};

TEST_F(EvaluationTest, EvenOddTrainsEvenPositionsAndJudgesOddOnes) {
  const EvalResults results = Run(Options(Split::EvenOdd()));

  // Good folders are listed (and taught) first, whatever the order given.
  ASSERT_EQ(results.sources.size(), 2u);
  EXPECT_EQ(results.sources[0].kind, MailKind::kGood);
  EXPECT_EQ(results.sources[0].messages, 8u);
  EXPECT_EQ(results.sources[1].messages, 6u) << "the .json twin is not mail";

  EXPECT_EQ(results.training.messages, 7u);  // g0 g2 g4 g6, s0 s2 s4
  EXPECT_EQ(results.learned, 6u);
  EXPECT_EQ(results.notLearned, 1u) << "g2 has no transport headers";
  EXPECT_EQ(results.trainingUnreadable, 0u);
  ASSERT_EQ(results.wordsPerRound.size(), 1u);
  EXPECT_GT(results.wordsPerRound[0], 0u);

  EXPECT_EQ(results.judging.messages, 7u);                              // g1 g3 g5 g7, s1 s3 s5
  EXPECT_EQ(results.good.judged, 2u);                                   // g1, g7
  EXPECT_EQ(results.spam.judged, 3u);                                   // s1, s3, s5
  EXPECT_EQ(results.NotJudgedFor(NotJudged::kNoTransportHeaders), 1u);  // g3
  EXPECT_EQ(results.NotJudgedFor(NotJudged::kLearningMark), 1u);        // g5
  EXPECT_EQ(results.NotJudgedFor(NotJudged::kUnreadable), 0u);

  EXPECT_EQ(Names(results.falsePositives), std::vector<std::string>{"g7.eml"});
  EXPECT_EQ(Names(results.falseNegatives), std::vector<std::string>{"s5.eml"});
  EXPECT_EQ(results.good.Wrong(MailKind::kGood), 1u);
  EXPECT_DOUBLE_EQ(results.good.WrongRate(MailKind::kGood), 0.5);
  EXPECT_EQ(results.spam.Wrong(MailKind::kSpam), 1u);
  EXPECT_DOUBLE_EQ(results.spam.WrongRate(MailKind::kSpam), 1.0 / 3);

  // s3's Cyrillic subject: spam by the non-English rule, without a score.
  EXPECT_EQ(results.spam.nonEnglish, 1u);
  EXPECT_EQ(results.good.nonEnglish, 0u);
  EXPECT_EQ(Scored(results.good), results.good.judged);
  EXPECT_EQ(Scored(results.spam), results.spam.judged - results.spam.nonEnglish);
  EXPECT_EQ(results.good.scores[100] + results.spam.scores[100], 2u) << "g7 and s1";

  EXPECT_GT(results.peakMemoryBytes, 0);
  EXPECT_EQ(results.messagesShown, 0) << "the engine tried to show something (a save?)";
}

TEST_F(EvaluationTest, FoldsJudgeEveryMessageOnce) {
  for (int folds : {2, 3, 5, 14}) {
    SCOPED_TRACE(folds);
    const EvalResults results = Run(Options(Split::Folds(folds)));
    const std::size_t total = 14;
    EXPECT_EQ(results.wordsPerRound.size(), static_cast<std::size_t>(folds));
    EXPECT_EQ(results.judging.messages, total);
    EXPECT_EQ(results.good.judged + results.spam.judged + results.notJudged.size(), total);
    // Every message is taught in every round but the one that judges it.
    EXPECT_EQ(results.training.messages, total * static_cast<std::size_t>(folds - 1));
    EXPECT_EQ(results.learned + results.notLearned, results.training.messages);
    // Wherever they are judged, these are never taught and never judged.
    EXPECT_EQ(results.NotJudgedFor(NotJudged::kNoTransportHeaders), 2u);
    EXPECT_EQ(results.NotJudgedFor(NotJudged::kLearningMark), 1u);
    EXPECT_EQ(results.spam.nonEnglish, 1u);
  }
}

TEST_F(EvaluationTest, ReadingAheadChangesNothingButTheSpeed) {
  const EvalResults alone = Run(Options(Split::Folds(3), 0));
  const EvalResults ahead = Run(Options(Split::Folds(3), 3));
  EXPECT_EQ(ahead.good.scores, alone.good.scores);
  EXPECT_EQ(ahead.spam.scores, alone.spam.scores);
  EXPECT_EQ(ahead.wordsPerRound, alone.wordsPerRound);
  EXPECT_EQ(Names(ahead.falsePositives), Names(alone.falsePositives));
  EXPECT_EQ(Names(ahead.falseNegatives), Names(alone.falseNegatives));
  EXPECT_EQ(ahead.notJudged.size(), alone.notJudged.size());
}

TEST_F(EvaluationTest, UnreadableMessagesAreCountedApart) {
  // Links are refused by the Maildir host's reading; s6 trains, s7 is judged.
  fs::create_symlink(root / "spam/s1.eml", root / "spam/s6.eml");
  fs::create_symlink(root / "spam/s1.eml", root / "spam/s7.eml");
  const EvalResults results = Run(Options(Split::EvenOdd(), 2));
  EXPECT_EQ(results.sources[1].messages, 8u);
  EXPECT_EQ(results.trainingUnreadable, 1u);
  EXPECT_EQ(results.learned, 6u);
  ASSERT_EQ(results.NotJudgedFor(NotJudged::kUnreadable), 1u);
  EXPECT_EQ(results.spam.judged, 3u);
  EXPECT_EQ(results.judging.messages, 8u);
}

TEST_F(EvaluationTest, RefusesWhatCannotBeEvaluated) {
  EvalResults results;
  std::string error;
  EvalOptions missing = Options(Split::EvenOdd());
  missing.sources.push_back({(root / "nowhere").string(), MailKind::kGood});
  EXPECT_FALSE(RunEvaluation(missing, {}, &results, &error));
  EXPECT_NE(error.find("nowhere: no such directory"), std::string::npos) << error;

  // One message a folder: the even-odd split has nothing to judge.
  fs::create_directories(root / "one-good");
  fs::create_directories(root / "one-spam");
  fs::copy(root / "good/g0.eml", root / "one-good/m");
  fs::copy(root / "spam/s0.eml", root / "one-spam/m");
  EvalOptions single;
  single.sources = {{(root / "one-good").string(), MailKind::kGood},
                    {(root / "one-spam").string(), MailKind::kSpam}};
  EXPECT_FALSE(RunEvaluation(single, {}, &results, &error));
  EXPECT_NE(error.find("no message to judge"), std::string::npos) << error;
  // With folds every message is judged, so one is enough.
  single.split = Split::Folds(2);
  EXPECT_TRUE(RunEvaluation(single, {}, &results, &error)) << error;
  EXPECT_EQ(results.good.judged + results.spam.judged, 2u);
  // But not more folds than messages: some would judge nothing.
  single.split = Split::Folds(3);
  EXPECT_FALSE(RunEvaluation(single, {}, &results, &error));
  EXPECT_NE(error.find("--folds 3 is more than the 2 messages"), std::string::npos) << error;
}

TEST_F(EvaluationTest, RefusesAFolderGivenAsSpamAndAsGoodMail) {
  const struct {
    const char* name;
    std::string spam, good;
  } kCases[] = {
      {"the same", (root / "good").string(), (root / "good").string()},
      {"written otherwise", (root / "good").string(), (root / "spam/../good/").string()},
  };
  for (const auto& c : kCases) {
    EvalOptions options = Options(Split::EvenOdd());
    options.sources = {{c.spam, MailKind::kSpam}, {c.good, MailKind::kGood}};
    EvalResults results;
    std::string error;
    EXPECT_FALSE(RunEvaluation(options, {}, &results, &error)) << c.name;
    EXPECT_NE(error.find("is given both as spam and as good mail"), std::string::npos)
        << c.name << ": " << error;
  }
  // The same folder twice on one side is only listed twice.
  EvalOptions twice = Options(Split::EvenOdd());
  twice.sources.push_back({(root / "good").string(), MailKind::kGood});
  EvalResults results;
  std::string error;
  EXPECT_TRUE(RunEvaluation(twice, {}, &results, &error)) << error;
}

// Given halves: the folders given to train teach, every message of those
// given to test is judged, whatever its position.
TEST_F(EvaluationTest, GivenHalvesTrainOnOneAndJudgeTheOther) {
  fs::create_directories(root / "later-good");
  fs::create_directories(root / "later-spam");
  for (const char* name : {"g1.eml", "g7.eml"})
    fs::rename(root / "good" / name, root / "later-good" / name);
  for (const char* name : {"s1.eml", "s3.eml", "s5.eml"})
    fs::rename(root / "spam" / name, root / "later-spam" / name);
  EvalOptions options;
  options.split = Split::GivenHalves();
  options.readers = 0;
  options.sources = {{(root / "later-spam").string(), MailKind::kSpam, Half::kTest},
                     {(root / "spam").string(), MailKind::kSpam, Half::kTraining},
                     {(root / "later-good").string(), MailKind::kGood, Half::kTest},
                     {(root / "good").string(), MailKind::kGood, Half::kTraining}};
  const EvalResults results = Run(options);
  ASSERT_EQ(results.sources.size(), 4u);
  EXPECT_EQ(results.sources[0].half, Half::kTest) << "good first, each kind in the order given";
  EXPECT_EQ(results.sources[1].messages, 6u);
  EXPECT_EQ(results.wordsPerRound.size(), 1u) << "one round";
  EXPECT_EQ(results.training.messages, 9u);  // g0 g2 g3 g4 g5 g6, s0 s2 s4
  EXPECT_EQ(results.notLearned, 2u) << "g2 and g3 have no transport headers";
  EXPECT_EQ(results.judging.messages, 5u);
  EXPECT_EQ(results.good.judged, 2u);
  EXPECT_EQ(results.spam.judged, 3u);
  EXPECT_EQ(results.spam.nonEnglish, 1u);
  EXPECT_EQ(Names(results.falsePositives), std::vector<std::string>{"g7.eml"});
  EXPECT_EQ(results.good.JudgeWrong(MailKind::kGood), 1u);
}

TEST_F(EvaluationTest, GivenHalvesRefuseAFolderGivenTwiceAndAnEmptyHalf) {
  fs::create_directories(root / "empty");
  fs::create_directories(root / "empty-too");
  const std::string good = (root / "good").string(), spam = (root / "spam").string();
  const struct {
    const char* name;
    std::vector<Source> sources;
    const char* says;
  } kCases[] = {
      {"in both halves",
       {{good, MailKind::kGood, Half::kTraining},
        {spam, MailKind::kSpam, Half::kTraining},
        {(root / "spam/../good/").string(), MailKind::kGood, Half::kTest}},
       "good/ is given twice"},
      {"twice in one half",
       {{good, MailKind::kGood, Half::kTraining},
        {good, MailKind::kGood, Half::kTraining},
        {spam, MailKind::kSpam, Half::kTraining},
        {(root / "empty").string(), MailKind::kGood, Half::kTest}},
       "good is given twice"},
      {"as spam and as good mail",
       {{good, MailKind::kGood, Half::kTraining},
        {spam, MailKind::kSpam, Half::kTraining},
        {good, MailKind::kSpam, Half::kTest}},
       "is given both as spam and as good mail"},
      {"no message to train on",
       {{(root / "empty").string(), MailKind::kGood, Half::kTraining},
        {(root / "empty-too").string(), MailKind::kSpam, Half::kTraining},
        {spam, MailKind::kSpam, Half::kTest}},
       "the training half holds no message"},
      {"no message to judge",
       {{good, MailKind::kGood, Half::kTraining},
        {spam, MailKind::kSpam, Half::kTraining},
        {(root / "empty").string(), MailKind::kGood, Half::kTest}},
       "the test half holds no message"},
  };
  for (const auto& c : kCases) {
    EvalOptions options;
    options.split = Split::GivenHalves();
    options.sources = c.sources;
    EvalResults results;
    std::string error;
    EXPECT_FALSE(RunEvaluation(options, {}, &results, &error)) << c.name;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
  }
}

TEST_F(EvaluationTest, ProgressCountsEachPhaseToItsEnd) {
  std::vector<Progress> seen;
  EvalResults results;
  std::string error;
  ASSERT_TRUE(RunEvaluation(
      Options(Split::Folds(2)), [&seen](const Progress& p) { seen.push_back(p); }, &results,
      &error));
  ASSERT_EQ(seen.size(), 2u * 14);  // each round trains on 7 and judges 7
  EXPECT_EQ(seen.front().phase, Phase::kTraining);
  EXPECT_EQ(seen.front().done, 1u);
  EXPECT_EQ(seen[6].done, seen[6].total);
  EXPECT_EQ(seen.back().round, 1);
  EXPECT_EQ(seen.back().rounds, 2);
  EXPECT_EQ(seen.back().phase, Phase::kJudging);
  EXPECT_EQ(seen.back().done, seen.back().total);
}

TEST(MessageSourceTest, ListsMaildirsAsTheHostDoes) {
  std::string pattern = (fs::temp_directory_path() / "varnox-list-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  for (const char* sub : {"cur", "new", "tmp", ".Sub/cur"})
    fs::create_directories(dir / sub);
  for (const char* name : {"cur/2:2,S", "cur/1:2,", "new/9", "new/8", "new/.hidden", "tmp/7",
                           "cur/x.json", ".Sub/cur/6"}) {
    std::ofstream(dir / name) << "Subject: x\n\nbody\n";
  }
  std::vector<std::string> files;
  std::string error;
  ASSERT_TRUE(ListMessageFiles(dir.string(), &files, &error)) << error;
  std::vector<std::string> names;
  for (const std::string& file : files)
    names.push_back(fs::path(file).parent_path().filename().string() + "/" +
                    fs::path(file).filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"new/8", "new/9", "cur/1:2,", "cur/2:2,S"}));

  ASSERT_FALSE(ListMessageFiles((dir / "new/8").string(), &files, &error));
  EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
  fs::remove_all(dir);
}

TEST(ReadAheadTest, HandsOutMessagesInOrder) {
  const std::string data = std::getenv("VARNOX_TEST_DATA");
  std::vector<std::string> storage;
  for (int i = 0; i < 150; ++i) {  // more than the window, with gaps
    storage.push_back(i % 7 == 3 ? data + "/eval/none-" + std::to_string(i)
                                 : data + "/eval/spam/s" + std::to_string(i % 6) + ".eml");
  }
  std::vector<const std::string*> paths;
  for (const std::string& path : storage)
    paths.push_back(&path);
  for (unsigned readers : {0u, 1u, 4u}) {
    SCOPED_TRACE(readers);
    ReadAhead reading(paths, readers);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      mime::MimeTexts texts;
      mime::MimeTexts expected;
      const bool readable = ReadTextsOfFile(storage[i], &expected);
      ASSERT_EQ(reading.Next(&texts), readable) << i;
      EXPECT_EQ(texts.subject, expected.subject) << i;
      EXPECT_EQ(texts.body, expected.body) << i;
    }
  }
  // Stopping early leaves the readers no work to wait for.
  ReadAhead stopped(paths, 2);
  mime::MimeTexts texts;
  EXPECT_TRUE(stopped.Next(&texts));
}

}  // namespace
}  // namespace varnox::eval

// What the evaluation shows and writes, from results made by hand.
#include "linux/eval/eval_report.h"

#include <gtest/gtest.h>

#include <string>

#include "linux/eval/json_writer.h"

namespace varnox::eval {
namespace {

EvalResults Sample() {
  EvalResults results;
  results.split = Split::Folds(10);
  results.sources = {{"mail/good", MailKind::kGood, 3}, {"mail/spam", MailKind::kSpam, 2}};
  results.training = {45, 0.5, 0.25};
  results.learned = 40;
  results.notLearned = 5;
  results.wordsPerRound = {120, 130};
  results.judging = {5, 0.25, 0.125};
  results.good.judged = 3;
  results.good.judgedSpam = 1;
  results.good.scores[0] = 2;
  results.good.scores[95] = 1;
  results.spam.judged = 2;
  results.spam.judgedSpam = 1;
  results.spam.nonEnglish = 1;
  results.spam.scores[90] = 1;
  results.falsePositives = {{"mail/good/\"odd\" name", 95, false}};
  results.falseNegatives = {{"mail/spam/b", 90, false}};
  results.peakMemoryBytes = 3 << 20;
  return results;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(EvalReportTest, TextGivesCountsRatesSpeedAndScores) {
  const std::string text = SummaryText(Sample());
  for (const char* part : {
           "Split: 10 folds",
           "good       3 messages in mail/good",
           "Training: 45 messages in 0.500 s: 90 messages/s (processor time 0.250 s: 180",
           "learned 40; not learned (no transport headers) 5",
           "the filters knew 120 to 130 words",
           "Judging: 5 messages in 0.250 s: 20 messages/s",
           "good mail        3         1       1   33.33%   false positives: 1 the judge's own, 0 "
           "the non-English rule's\n",
           "spam             2         1       1   50.00%   false negatives",
           "good mail 0, spam 1",
           "  0-10             2        0\n",
           "  81-90            0        1\n",  // 90 is still good mail
           "  91-100           1        0\n",
           "Peak memory: 3.0 MiB",
           "mail/good/\"odd\" name (score 95)",
       }) {
    EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
  }
}

TEST(EvalReportTest, JsonHoldsEveryFigure) {
  const std::string json = SummaryJson(Sample());
  for (const char* part : {
           "\"split\": \"folds\"",
           "\"folds\": 10",
           "\"threshold\": 90",
           "\"messages_per_cpu_second\": 180",  // training: 45 messages in 0.25 s
           "\"words\": [120, 130]",
           "\"not_learned\": 5",
           "\"false_positives\": 1",
           "\"judge_false_positives\": 1",
           "\"rate\": 0.333333",
           "\"false_negatives\": 1",
           "\"non_english\": 1",
           "\"peak_memory_bytes\": 3145728",
           "\"file\": \"mail/good/\\\"odd\\\" name\"",
       }) {
    EXPECT_TRUE(Contains(json, part)) << part << "\n" << json;
  }
  // The 101 scores of a kind on one line: 0 at index 0..94, then 1 at 95.
  std::string good_scores = "[2";
  for (int score = 1; score <= 100; ++score)
    good_scores += score == 95 ? ", 1" : ", 0";
  EXPECT_TRUE(Contains(json, "\"scores\": " + good_scores + "]")) << json;
  EXPECT_EQ(json.back(), '\n');
}

// The non-English rule's false positives are told apart from the judge's,
// and given halves are named as such.
TEST(EvalReportTest, GivenHalvesAndTheNonEnglishRulesFalsePositives) {
  EvalResults results = Sample();
  results.split = Split::GivenHalves();
  results.sources[0].half = Half::kTraining;
  results.sources[1].half = Half::kTest;
  results.good.judgedSpam = 3;
  results.good.nonEnglish = 2;
  const std::string text = SummaryText(results);
  for (const char* part : {"Split: given halves", "messages in mail/good, training half\n",
                           "messages in mail/spam, test half\n",
                           "false positives: 1 the judge's own, 2 the non-English rule's\n"})
    EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
  const std::string json = SummaryJson(results);
  for (const char* part : {"\"split\": \"halves\"", "\"half\": \"training\"", "\"half\": \"test\"",
                           "\"false_positives\": 3", "\"judge_false_positives\": 1"})
    EXPECT_TRUE(Contains(json, part)) << part << "\n" << json;
  EXPECT_TRUE(Contains(PlotScript(results), "given halves evaluation"));
}

TEST(EvalReportTest, PlotDataHasOneLineAScore) {
  const std::string data = ScoresData(Sample());
  EXPECT_TRUE(Contains(data, "\n0 2 0\n"));
  EXPECT_TRUE(Contains(data, "\n90 0 1\n"));
  EXPECT_TRUE(Contains(data, "\n95 1 0\n"));
  EXPECT_TRUE(data.ends_with("\n100 0 0\n"));
  const std::string script = PlotScript(Sample());
  EXPECT_TRUE(Contains(script, "set output 'scores.png'"));
  EXPECT_TRUE(Contains(script, "plot 'scores.dat'"));
  EXPECT_TRUE(Contains(script, "set arrow from 90.5,")) << "the threshold between 90 and 91";
}

TEST(JsonWriterTest, QuotesAnyBytesAsValidJson) {
  const struct {
    std::string text;
    const char* quoted;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {std::string("tab\tnl\nnul\0x", 12), "\"tab\\u0009nl\\u000anul\\u0000x\""},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"latin1 caf\xE9", "\"latin1 caf\\ufffd\""},
      {"\xC0\xAF overlong", "\"\\ufffd\\ufffd overlong\""},
      {"\xED\xA0\x80 surrogate", "\"\\ufffd\\ufffd\\ufffd surrogate\""},
      {"cut \xE2\x82", "\"cut \\ufffd\\ufffd\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(JsonWriter::Quoted(c.text), c.quoted) << c.text;
}

TEST(JsonWriterTest, NestsAndIndents) {
  JsonWriter json;
  json.BeginObject();
  json.Key("a");
  json.BeginArray(true);
  json.Integer(1);
  json.Real(0.5);
  json.Real(1.0 / 0.0);
  json.EndArray();
  json.Key("b");
  json.BeginObject();
  json.Key("c");
  json.Bool(true);
  json.EndObject();
  json.Key("e");
  json.BeginArray();
  json.EndArray();
  json.EndObject();
  EXPECT_EQ(json.Text(),
            "{\n  \"a\": [1, 0.5, null],\n  \"b\": {\n    \"c\": true\n  },\n"
            "  \"e\": []\n}\n");
}

}  // namespace
}  // namespace varnox::eval

#include "linux/eval/eval_report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/bayesian_core.h"
#include "linux/eval/gnuplot.h"
#include "linux/eval/json_writer.h"
#include "platform/file_system.h"

namespace varnox::eval {
namespace {

// Misjudged messages named in the text; the JSON summary names them all.
constexpr std::size_t kMisjudgedShown = 20;
// Score bins of the text table: 0-10, 11-20, ..., 81-90, 91-100, so that the
// last bin is exactly the scores judged spam.
constexpr int kBinWidth = 10;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width)
    text.insert(0, width - text.size(), ' ');
  return text;
}

std::string PadRight(std::string text, std::size_t width) {
  if (text.size() < width)
    text.append(width - text.size(), ' ');
  return text;
}

const char* KindName(MailKind kind) {
  return kind == MailKind::kGood ? "good" : "spam";
}

const char* ReasonName(NotJudged reason) {
  switch (reason) {
    case NotJudged::kUnreadable:
      return "unreadable";
    case NotJudged::kNoTransportHeaders:
      return "no transport headers";
    case NotJudged::kNoBodyOrSubject:
      return "no body or subject";
    case NotJudged::kLearningMark:
      return "learning mark";
  }
  return "";
}

const char* JudgeName(const EvalResults& results) {
  return results.secondJudge ? "second" : "classic";
}

std::string SplitText(const Split& split) {
  if (split.givenHalves)
    return "given halves (every message of the folders given to train trains, and every "
           "message of those given to test is judged)";
  if (!split.judgeAllFolds)
    return "even-odd (in each folder, messages at even positions train and those at odd "
           "positions are judged)";
  const std::string k = std::to_string(split.folds);
  return k + " folds (in each folder, the message at position i is in fold i mod " + k +
         "; each fold is judged by a filter trained on the others)";
}

// "even-odd", "folds" or "halves", as summary.json names the split.
const char* SplitName(const Split& split) {
  return split.givenHalves ? "halves" : split.judgeAllFolds ? "folds" : "even-odd";
}

const char* HalfName(Half half) {
  return half == Half::kTraining ? "training" : "test";
}

std::string PhaseLine(const char* name, const PhaseTime& time) {
  return std::string(name) + ": " + std::to_string(time.messages) + " messages in " +
         Format("%.3f", time.seconds) + " s: " + Format("%.0f", time.PerSecond()) +
         " messages/s (processor time " + Format("%.3f", time.cpuSeconds) +
         " s: " + Format("%.0f", time.PerCpuSecond()) + " messages/s)\n";
}

std::string WordsLine(const std::vector<std::size_t>& words) {
  if (words.empty())
    return {};
  const auto [low, high] = std::minmax_element(words.begin(), words.end());
  if (words.size() == 1)
    return "  the filter knew " + std::to_string(*low) + " words\n";
  return "  the filters knew " + std::to_string(*low) + " to " + std::to_string(*high) + " words\n";
}

std::string VerdictRow(const char* name, MailKind kind, const KindVerdicts& verdicts,
                       const std::string& meaning) {
  return PadRight(name, 10) + Pad(std::to_string(verdicts.judged), 8) +
         Pad(std::to_string(verdicts.judgedSpam), 10) +
         Pad(std::to_string(verdicts.Wrong(kind)), 8) +
         Pad(Format("%.2f%%", 100 * verdicts.WrongRate(kind)), 9) + "   " + meaning + "\n";
}

std::size_t BinCount(const KindVerdicts& verdicts, int first, int last) {
  std::size_t count = 0;
  for (int score = first; score <= last; ++score)
    count += verdicts.scores[static_cast<std::size_t>(score)];
  return count;
}

std::string ScoreTable(const EvalResults& results) {
  std::string text = "Scores of the judged messages (above 90 is spam):\n";
  text += "  score    good mail     spam\n";
  for (int first = 0; first <= 100; first = first == 0 ? kBinWidth + 1 : first + kBinWidth) {
    const int last = first == 0 ? kBinWidth : first + kBinWidth - 1;
    text += "  " + PadRight(std::to_string(first) + "-" + std::to_string(last), 7) +
            Pad(std::to_string(BinCount(results.good, first, last)), 11) +
            Pad(std::to_string(BinCount(results.spam, first, last)), 9) + "\n";
  }
  return text;
}

std::string MisjudgedList(const char* title, const std::vector<Misjudged>& list) {
  if (list.empty())
    return {};
  std::string text = std::string(title) + ":\n";
  for (std::size_t i = 0; i < std::min(list.size(), kMisjudgedShown); ++i) {
    text += "  " + list[i].path +
            (list[i].nonEnglish ? " (non-English)\n"
                                : " (score " + std::to_string(list[i].score) + ")\n");
  }
  if (list.size() > kMisjudgedShown) {
    text += "  ... and " + std::to_string(list.size() - kMisjudgedShown) +
            " more (all in the report's " + kSummaryFile + ")\n";
  }
  return text;
}

void WritePhase(JsonWriter& json, const PhaseTime& time) {
  json.Key("messages");
  json.Integer(static_cast<std::int64_t>(time.messages));
  json.Key("seconds");
  json.Real(time.seconds);
  json.Key("cpu_seconds");
  json.Real(time.cpuSeconds);
  json.Key("messages_per_second");
  json.Real(time.PerSecond());
  json.Key("messages_per_cpu_second");
  json.Real(time.PerCpuSecond());
}

void WriteVerdicts(JsonWriter& json, MailKind kind, const KindVerdicts& verdicts) {
  json.BeginObject();
  json.Key("judged");
  json.Integer(static_cast<std::int64_t>(verdicts.judged));
  json.Key("judged_spam");
  json.Integer(static_cast<std::int64_t>(verdicts.judgedSpam));
  json.Key(kind == MailKind::kGood ? "false_positives" : "false_negatives");
  json.Integer(static_cast<std::int64_t>(verdicts.Wrong(kind)));
  if (kind == MailKind::kGood) {
    json.Key("judge_false_positives");
    json.Integer(static_cast<std::int64_t>(verdicts.JudgeWrong(kind)));
  }
  json.Key("rate");
  json.Real(verdicts.WrongRate(kind));
  json.Key("non_english");
  json.Integer(static_cast<std::int64_t>(verdicts.nonEnglish));
  json.Key("scores");
  json.BeginArray(true);
  for (std::size_t count : verdicts.scores)
    json.Integer(static_cast<std::int64_t>(count));
  json.EndArray();
  json.EndObject();
}

void WriteMisjudged(JsonWriter& json, const std::vector<Misjudged>& list) {
  json.BeginArray();
  for (const Misjudged& message : list) {
    json.BeginObject();
    json.Key("file");
    json.String(message.path);
    json.Key("score");
    if (message.nonEnglish)
      json.String("non-English");
    else
      json.Integer(message.score);
    json.EndObject();
  }
  json.EndArray();
}

bool WriteFile(const std::filesystem::path& path, const std::string& contents, std::string* error) {
  if (RealFileSystem().ReplaceWholeFile(path.string(), contents))
    return true;
  *error = path.string() + " could not be written";
  return false;
}

}  // namespace

std::string SummaryText(const EvalResults& results) {
  std::string text = "Split: " + SplitText(results.split) + "\n";
  text += std::string("Judge: ") + JudgeName(results) + "\n";
  for (const SourceSummary& source : results.sources) {
    text +=
        "  " + std::string(KindName(source.kind)) + Pad(std::to_string(source.messages), 8) +
        " messages in " + source.dir +
        (source.half == Half::kDealt ? "" : std::string(", ") + HalfName(source.half) + " half") +
        "\n";
  }
  text += "\n";
  text += PhaseLine("Training", results.training);
  text += "  learned " + std::to_string(results.learned) + "; not learned (no transport headers) " +
          std::to_string(results.notLearned) + "; unreadable " +
          std::to_string(results.trainingUnreadable) + "\n";
  text += WordsLine(results.wordsPerRound);
  text += PhaseLine("Judging", results.judging);
  text += "  judged " + std::to_string(results.good.judged + results.spam.judged) +
          "; not judged: no transport headers " +
          std::to_string(results.NotJudgedFor(NotJudged::kNoTransportHeaders)) +
          ", learning mark " + std::to_string(results.NotJudgedFor(NotJudged::kLearningMark)) +
          ", no body or subject " +
          std::to_string(results.NotJudgedFor(NotJudged::kNoBodyOrSubject)) + ", unreadable " +
          std::to_string(results.NotJudgedFor(NotJudged::kUnreadable)) + "\n\n";
  text += "            judged  as spam   wrong     rate\n";
  const std::size_t own = results.good.JudgeWrong(MailKind::kGood);
  text += VerdictRow("good mail", MailKind::kGood, results.good,
                     "false positives: " + std::to_string(own) + " the judge's own, " +
                         std::to_string(results.good.nonEnglish) + " the non-English rule's");
  text += VerdictRow("spam", MailKind::kSpam, results.spam, "false negatives");
  text += "Non-English verdicts (spam without a score): good mail " +
          std::to_string(results.good.nonEnglish) + ", spam " +
          std::to_string(results.spam.nonEnglish) + "\n\n";
  text += ScoreTable(results);
  text += "\nPeak memory: " +
          Format("%.1f MiB", static_cast<double>(results.peakMemoryBytes) / (1 << 20)) + "\n";
  text += MisjudgedList("\nFalse positives (good mail judged spam)", results.falsePositives);
  text += MisjudgedList("\nFalse negatives (spam judged good)", results.falseNegatives);
  return text;
}

std::string SummaryJson(const EvalResults& results) {
  JsonWriter json;
  json.BeginObject();
  json.Key("split");
  json.String(SplitName(results.split));
  json.Key("folds");
  json.Integer(results.split.folds);
  json.Key("threshold");
  json.Integer(BayesianCore::kSpamThreshold);
  json.Key("judge");
  json.String(JudgeName(results));

  json.Key("sources");
  json.BeginArray();
  for (const SourceSummary& source : results.sources) {
    json.BeginObject();
    json.Key("dir");
    json.String(source.dir);
    json.Key("kind");
    json.String(KindName(source.kind));
    if (source.half != Half::kDealt) {
      json.Key("half");
      json.String(HalfName(source.half));
    }
    json.Key("messages");
    json.Integer(static_cast<std::int64_t>(source.messages));
    json.EndObject();
  }
  json.EndArray();

  json.Key("training");
  json.BeginObject();
  WritePhase(json, results.training);
  json.Key("learned");
  json.Integer(static_cast<std::int64_t>(results.learned));
  json.Key("not_learned");
  json.Integer(static_cast<std::int64_t>(results.notLearned));
  json.Key("unreadable");
  json.Integer(static_cast<std::int64_t>(results.trainingUnreadable));
  json.Key("words");
  json.BeginArray(true);
  for (std::size_t words : results.wordsPerRound)
    json.Integer(static_cast<std::int64_t>(words));
  json.EndArray();
  json.EndObject();

  json.Key("judging");
  json.BeginObject();
  WritePhase(json, results.judging);
  json.Key("judged");
  json.Integer(static_cast<std::int64_t>(results.good.judged + results.spam.judged));
  json.Key("not_judged");
  json.BeginObject();
  for (NotJudged reason : {NotJudged::kNoTransportHeaders, NotJudged::kLearningMark,
                           NotJudged::kNoBodyOrSubject, NotJudged::kUnreadable}) {
    json.Key(ReasonName(reason));
    json.Integer(static_cast<std::int64_t>(results.NotJudgedFor(reason)));
  }
  json.EndObject();
  json.EndObject();

  json.Key("good");
  WriteVerdicts(json, MailKind::kGood, results.good);
  json.Key("spam");
  WriteVerdicts(json, MailKind::kSpam, results.spam);
  json.Key("peak_memory_bytes");
  json.Integer(results.peakMemoryBytes);

  json.Key("false_positives");
  WriteMisjudged(json, results.falsePositives);
  json.Key("false_negatives");
  WriteMisjudged(json, results.falseNegatives);
  json.Key("not_judged");
  json.BeginArray();
  for (const SkippedMessage& skipped : results.notJudged) {
    json.BeginObject();
    json.Key("file");
    json.String(skipped.path);
    json.Key("kind");
    json.String(KindName(skipped.kind));
    json.Key("reason");
    json.String(ReasonName(skipped.reason));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  return json.Text();
}

std::string ScoresData(const EvalResults& results) {
  std::string data = "# score good spam\n";
  for (std::size_t score = 0; score < KindVerdicts::kScores; ++score) {
    data += std::to_string(score) + " " + std::to_string(results.good.scores[score]) + " " +
            std::to_string(results.spam.scores[score]) + "\n";
  }
  return data;
}

std::string PlotScript(const EvalResults& results) {
  const std::string threshold = std::to_string(BayesianCore::kSpamThreshold);
  const std::string title =
      (results.split.givenHalves     ? std::string("given halves")
       : results.split.judgeAllFolds ? std::to_string(results.split.folds) + "-fold"
                                     : std::string("even-odd")) +
      " evaluation, " + JudgeName(results) + " judge: " + std::to_string(results.good.judged) +
      " good, " + std::to_string(results.spam.judged) + " spam messages judged";
  // Counts on a log scale: nearly every message scores 0 or 100, and the
  // few in between are what matters. Empty scores are left out (NaN), since
  // a log scale has no 0. The bars of a score stand side by side.
  return "set terminal pngcairo size 960,540 font ',11'\n"
         "set output '" +
         std::string(kPictureFile) +
         "'\n"
         "set title '" +
         title +
         "'\n"
         "set xlabel 'score (spam above " +
         threshold +
         ")'\n"
         "set ylabel 'messages'\n"
         "set logscale y\n"
         "set xrange [-1.5:101.5]\n"
         "set yrange [0.7:*]\n"
         "set xtics 0,10,100\n"
         "set grid ytics\n"
         "set key top center\n"
         "set style fill solid 0.8 noborder\n"
         "set boxwidth 0.45\n"
         "set arrow from " +
         threshold + ".5, graph 0 to " + threshold +
         ".5, graph 1 nohead dashtype 2 linewidth 2 linecolor rgb '#000000'\n"
         "set label 'threshold' at " +
         threshold +
         ", graph 0.6 right offset -0.5,0\n"
         "plot '" +
         std::string(kScoresDataFile) +
         "' using ($1-0.23):($2 > 0 ? $2 : NaN) with boxes linecolor rgb '#2e7d32' "
         "title 'good mail', \\\n"
         "     '' using ($1+0.23):($3 > 0 ? $3 : NaN) with boxes linecolor rgb '#c62828' "
         "title 'spam'\n";
}

bool WriteReport(const EvalResults& results, const std::string& dir, const std::string& gnuplot,
                 std::string* error) {
  namespace fs = std::filesystem;
  std::error_code code;
  fs::create_directories(dir, code);
  if (code || !fs::is_directory(dir, code)) {
    *error = dir + ": the report folder cannot be made" + (code ? ": " + code.message() : "");
    return false;
  }
  const fs::path folder(dir);
  return WriteFile(folder / kSummaryFile, SummaryJson(results), error) &&
         WriteFile(folder / kScoresDataFile, ScoresData(results), error) &&
         WriteFile(folder / kPlotScriptFile, PlotScript(results), error) &&
         RunGnuplot(gnuplot, dir, kPlotScriptFile, error);
}

}  // namespace varnox::eval

// varnox eval: how well the filter does on the user's own mail, measured on
// a fresh in-memory filter; the word database and the messages are left
// alone.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "linux/cli/command_context.h"
#include "linux/eval/eval_report.h"
#include "linux/eval/evaluation.h"
#include "linux/eval/gnuplot.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {
    "--spam",      "--good",  "--train-spam", "--train-good", "--test-spam",
    "--test-good", "--folds", "--split",      "--report",     "--judge"};

// More folds than this only repeats the training for nothing.
constexpr int kMaxFolds = 1000;

constexpr std::string_view kHelp =
    "Usage: varnox eval --spam DIR... --good DIR... [--folds K | --split even-odd]\n"
    "                   [--report DIR] [--judge classic|second]\n"
    "       varnox eval --train-good DIR... --train-spam DIR...\n"
    "                   --test-good DIR... --test-spam DIR...\n"
    "                   [--report DIR] [--judge classic|second]\n"
    "\n"
    "Measures how well the filter tells spam from good mail on your own folders,\n"
    "and how fast, without touching your word database or your messages. A fresh\n"
    "filter, kept in memory only, is trained on part of the messages exactly as\n"
    "Train Filter trains (good folders first, then spam), and judges the rest\n"
    "exactly as new mail is judged, without the black and white lists.\n"
    "\n"
    "  --spam DIR...     folders of spam\n"
    "  --good DIR...     folders of good mail\n"
    "  --split even-odd  in each folder, messages at even positions (names sorted)\n"
    "                    train and those at odd positions are judged (the default)\n"
    "  --folds K         K-fold cross-validation (2 <= K <= 1000): in each folder the\n"
    "                    message at position i is in fold i mod K; each fold is\n"
    "                    judged by a filter trained on all the others\n"
    "  --train-good DIR..., --train-spam DIR...\n"
    "  --test-good DIR..., --test-spam DIR...\n"
    "                    halves given instead of a split: a filter trained on every\n"
    "                    message of the --train folders (good mail and spam both\n"
    "                    needed) judges every message of the --test folders (one\n"
    "                    kind is enough), say trained on last year's mail and tested\n"
    "                    on this month's; a folder may be given only once\n"
    "  --report DIR      also write into DIR (made when missing) summary.json, the\n"
    "                    results for programs, and scores.png, a picture of the\n"
    "                    scores of good mail and of spam with the threshold, drawn\n"
    "                    by gnuplot (Debian package gnuplot-nox)\n"
    "  --judge classic|second\n"
    "                    the judge that decides: the classic one, or the second\n"
    "                    judge (setting SecondJudge); by default the one your\n"
    "                    settings choose\n"
    "\n"
    "A folder is a Maildir (its new/ and cur/) or a directory of message files\n"
    "(RFC 822, as saved by mail programs; a leading mbox \"From \" line is\n"
    "allowed). Names starting with \".\" and ending in \".json\" are left out, and\n"
    "sub-folders are not read.\n"
    "\n"
    "It prints the false positives (good mail judged spam) and false negatives\n"
    "(spam judged good) with counts and rates, the false positives of the judge\n"
    "apart from those of the rule against non-English characters (which decides\n"
    "before any judge), that rule's verdicts, the scores of good mail and of spam, messages per\n"
    "second for training and for judging (file reading and MIME decoding\n"
    "included), and the peak memory. As with new mail, a message without\n"
    "transport headers (no \"Received:\" line) or with a learning mark is not\n"
    "judged, and is not learned either; such messages are counted apart.\n"
    "On a terminal, progress is shown on standard error.\n";

struct EvalRequest {
  eval::EvalOptions options;
  std::optional<std::string> report_dir;
  std::optional<bool> second_judge;
};

bool ParseFolds(const std::string& text, int* folds) {
  const char* end = text.data() + text.size();
  const auto [at, failure] = std::from_chars(text.data(), end, *folds);
  return failure == std::errc() && at == end && *folds >= 2 && *folds <= kMaxFolds;
}

// The options that name folders, and what the folders after them are.
struct FolderOption {
  std::string_view name;
  eval::MailKind kind;
  eval::Half half;
};
constexpr FolderOption kFolderOptions[] = {
    {"--spam", eval::MailKind::kSpam, eval::Half::kDealt},
    {"--good", eval::MailKind::kGood, eval::Half::kDealt},
    {"--train-spam", eval::MailKind::kSpam, eval::Half::kTraining},
    {"--train-good", eval::MailKind::kGood, eval::Half::kTraining},
    {"--test-spam", eval::MailKind::kSpam, eval::Half::kTest},
    {"--test-good", eval::MailKind::kGood, eval::Half::kTest},
};

const FolderOption* FindFolderOption(std::string_view text) {
  for (const FolderOption& option : kFolderOptions) {
    if (option.name == text)
      return &option;
  }
  return nullptr;
}

// Whether the sources have a folder of `kind` (any kind when empty) in
// `half`.
bool HasFolders(const std::vector<eval::Source>& sources, eval::Half half,
                std::optional<eval::MailKind> kind = std::nullopt) {
  return std::any_of(sources.begin(), sources.end(), [&](const eval::Source& source) {
    return source.half == half && (!kind || source.kind == *kind);
  });
}

// What is missing or mixed among the folders; empty when they make sense.
std::string FoldersProblem(const std::vector<eval::Source>& sources, bool split_given) {
  const bool dealt = HasFolders(sources, eval::Half::kDealt);
  const bool halves =
      HasFolders(sources, eval::Half::kTraining) || HasFolders(sources, eval::Half::kTest);
  if (dealt && halves)
    return "give either --spam and --good, or the halves (--train-good, --train-spam, "
           "--test-good, --test-spam), not both";
  if (!halves) {
    if (!HasFolders(sources, eval::Half::kDealt, eval::MailKind::kSpam) ||
        !HasFolders(sources, eval::Half::kDealt, eval::MailKind::kGood))
      return "eval needs folders of spam (--spam DIR...) and of good mail (--good DIR...)";
    return {};
  }
  if (split_given)
    return "given halves are the split: --folds and --split do not go with them";
  if (!HasFolders(sources, eval::Half::kTraining, eval::MailKind::kGood) ||
      !HasFolders(sources, eval::Half::kTraining, eval::MailKind::kSpam))
    return "the training half is empty: give --train-good DIR... and --train-spam DIR...";
  if (!HasFolders(sources, eval::Half::kTest))
    return "the test half is empty: give --test-good DIR... or --test-spam DIR...";
  return {};
}

// Reads the folder groups and the options with a value. Empty when
// everything was understood; otherwise what is wrong.
std::string ParseRequest(const Arguments& arguments, EvalRequest* request) {
  const auto& given = arguments.in_order;
  // The option whose folders follow (none: no folder may follow).
  const FolderOption* group = nullptr;
  bool split_given = false;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const std::string& text = given[i].text;
    if (!given[i].option) {
      if (group == nullptr)
        return "'" + text + "' follows no option that names folders (--spam, --good, ...)";
      request->options.sources.push_back({text, group->kind, group->half});
      continue;
    }
    if (const FolderOption* folders = FindFolderOption(text)) {
      group = folders;
      continue;
    }
    group = nullptr;
    if (i + 1 == given.size() || given[i + 1].option)
      return text + " needs a value";
    const std::string& value = given[++i].text;
    if (text == "--report") {
      if (request->report_dir)
        return "--report is given twice";
      request->report_dir = value;
      continue;
    }
    if (text == "--judge") {
      if (request->second_judge)
        return "--judge is given twice";
      if (value != "classic" && value != "second")
        return "--judge is classic or second, not '" + value + "'";
      request->second_judge = value == "second";
      continue;
    }
    if (split_given)
      return "give one of --folds and --split, once";
    split_given = true;
    if (text == "--split") {
      if (value != "even-odd")
        return "--split knows only even-odd, not '" + value + "'";
      request->options.split = eval::Split::EvenOdd();
    } else {
      int folds = 0;
      if (!ParseFolds(value, &folds))
        return "--folds needs a whole number from 2 to " + std::to_string(kMaxFolds) + ", not '" +
               value + "'";
      request->options.split = eval::Split::Folds(folds);
    }
  }
  if (std::string problem = FoldersProblem(request->options.sources, split_given); !problem.empty())
    return problem;
  if (HasFolders(request->options.sources, eval::Half::kTraining))
    request->options.split = eval::Split::GivenHalves();
  return {};
}

// One line on standard error, rewritten in place at most ten times a second;
// nothing when standard error is not a terminal.
class ProgressLine {
 public:
  ProgressLine() : shown_(::isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() {
    if (drawn_)
      std::fputs("\r\033[K", stderr);
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool shown() const { return shown_; }

  void Update(const eval::Progress& progress) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100) && progress.done != progress.total)
      return;
    last_ = now;
    drawn_ = true;
    std::string round;
    if (progress.rounds > 1)
      round = "fold " + std::to_string(progress.round + 1) + "/" + std::to_string(progress.rounds) +
              ": ";
    std::fprintf(stderr, "\r\033[Kvarnox eval: %s%s %zu/%zu", round.c_str(),
                 progress.phase == eval::Phase::kTraining ? "training" : "judging", progress.done,
                 progress.total);
    std::fflush(stderr);
  }

 private:
  bool shown_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

int Run(CommandContext& context, const Arguments& arguments) {
  EvalRequest request;
  if (std::string problem = ParseRequest(arguments, &request); !problem.empty())
    return context.UserError(problem + " (see varnox eval --help)");

  request.options.secondJudge =
      request.second_judge.value_or(SettingsStore(context.platform().registry).SecondJudge() != 0);

  std::string gnuplot;
  if (request.report_dir) {
    gnuplot = eval::FindGnuplot();
    if (gnuplot.empty()) {
      return context.UserError(
          "--report draws its picture with gnuplot, which is not on PATH: install the Debian "
          "package gnuplot-nox (scripts/install-deps.sh tools)");
    }
  }

  eval::EvalResults results;
  std::string error;
  bool done = false;
  {
    ProgressLine line;
    eval::ProgressFunction progress;
    if (line.shown())
      progress = [&line](const eval::Progress& p) { line.Update(p); };
    done = eval::RunEvaluation(request.options, progress, &results, &error);
  }
  if (!done)
    return context.UserError(error);
  context.Print(eval::SummaryText(results));
  if (request.report_dir) {
    if (!eval::WriteReport(results, *request.report_dir, gnuplot, &error))
      return context.UserError("the report was not completed: " + error);
    context.Print("\nReport: " + *request.report_dir + "/" + eval::kSummaryFile + " and " +
                  *request.report_dir + "/" + eval::kPictureFile + "\n");
  }
  return kExitOk;
}

}  // namespace

extern const Command kEvalCommand{
    "eval", "measure the filter on your own folders of spam and good mail", kHelp, kOptions, Run};

}  // namespace varnox::cli

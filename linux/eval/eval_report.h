// What `varnox eval` shows and writes: the summary for people (text), the
// summary for programs (JSON), and the picture of the two score
// distributions with the threshold (gnuplot).
#ifndef VARNOX_LINUX_EVAL_EVAL_REPORT_H_
#define VARNOX_LINUX_EVAL_EVAL_REPORT_H_

#include <string>

#include "linux/eval/evaluation.h"

namespace varnox::eval {

// Names of the files --report writes into its folder.
inline constexpr char kSummaryFile[] = "summary.json";
inline constexpr char kScoresDataFile[] = "scores.dat";
inline constexpr char kPlotScriptFile[] = "scores.gp";
inline constexpr char kPictureFile[] = "scores.png";

// The results as lines of UTF-8 text (paths are shown as they are).
std::string SummaryText(const EvalResults& results);

// The results as one JSON document (format: docs/eval.md).
std::string SummaryJson(const EvalResults& results);

// The plot's data (one line a score: score, good mail, spam) and the gnuplot
// script that draws it into kPictureFile, both relative to the report folder.
std::string ScoresData(const EvalResults& results);
std::string PlotScript(const EvalResults& results);

// Creates `dir` (and its parents) when missing, writes the JSON summary,
// the plot's data and script into it, and runs `gnuplot` there to draw the
// picture. False, with *error saying what failed, at the first failure.
bool WriteReport(const EvalResults& results, const std::string& dir, const std::string& gnuplot,
                 std::string* error);

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_EVAL_REPORT_H_

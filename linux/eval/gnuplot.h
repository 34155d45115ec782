// Drawing with gnuplot (Debian package gnuplot-nox), a separate program run
// as a child process.
#ifndef VARNOX_LINUX_EVAL_GNUPLOT_H_
#define VARNOX_LINUX_EVAL_GNUPLOT_H_

#include <string>

namespace varnox::eval {

// The path of the gnuplot program on $PATH (an executable file named
// "gnuplot"), or empty when there is none.
std::string FindGnuplot();

// Runs `gnuplot SCRIPT` with `dir` as its working directory, its input
// from /dev/null and its output and errors on ours. True when it exited with
// status 0; otherwise *error says what happened.
bool RunGnuplot(const std::string& gnuplot, const std::string& dir, const std::string& script,
                std::string* error);

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_GNUPLOT_H_

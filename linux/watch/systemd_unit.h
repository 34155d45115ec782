// The systemd user unit that runs `varnox watch` at login: its text, made
// from the program's absolute path, the stores and the environment the
// filter must see (the user manager does not read the shell's variables).
#ifndef VARNOX_LINUX_WATCH_SYSTEMD_UNIT_H_
#define VARNOX_LINUX_WATCH_SYSTEMD_UNIT_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnox::watch {

// Where a word stands in the unit; each is read by its own rules.
enum class UnitWord {
  kProgram,      // ExecStart's first word: no variables, no quotes or backslashes
  kArgument,     // the words after it: variables expanded
  kEnvironment,  // an Environment= assignment: no variables
};

// `text` as one double-quoted word of a unit file: `%` doubled (specifiers),
// `$` doubled in an argument, backslash and quote escaped but in the
// program, which may hold neither. Nothing when `text` holds what its place
// cannot carry: a control character anywhere, a quote or backslash in the
// program.
std::optional<std::string> UnitQuoted(std::string_view text, UnitWord word);

struct UnitRecipe {
  std::string program;              // absolute path of the varnox program
  std::vector<std::string> stores;  // absolute; empty: watch's own default
  std::vector<std::pair<std::string, std::string>> environment;  // NAME, value
};

// The whole unit file, or nothing when a path or value cannot be written
// into it (UnitQuoted).
std::optional<std::string> UserUnit(const UnitRecipe& recipe);

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_SYSTEMD_UNIT_H_

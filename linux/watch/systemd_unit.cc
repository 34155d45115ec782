#include "linux/watch/systemd_unit.h"

namespace varnox::watch {

std::optional<std::string> UnitQuoted(std::string_view text, UnitWord word) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f)
      return std::nullopt;
    if (word == UnitWord::kProgram && (c == '\\' || c == '"' || c == '\''))
      return std::nullopt;
    if (c == '\\' || c == '"')
      quoted += '\\';
    else if (c == '%' || (c == '$' && word == UnitWord::kArgument))
      quoted += c;
    quoted += c;
  }
  return quoted + "\"";
}

std::optional<std::string> UserUnit(const UnitRecipe& recipe) {
  std::optional<std::string> command = UnitQuoted(recipe.program, UnitWord::kProgram);
  if (!command)
    return std::nullopt;
  *command += " watch";
  for (const std::string& store : recipe.stores) {
    const std::optional<std::string> word = UnitQuoted(store, UnitWord::kArgument);
    if (!word)
      return std::nullopt;
    *command += " " + *word;
  }
  std::string environment;
  for (const auto& [name, value] : recipe.environment) {
    const std::optional<std::string> word = UnitQuoted(name + "=" + value, UnitWord::kEnvironment);
    if (!word)
      return std::nullopt;
    environment += "Environment=" + *word + "\n";
  }
  // A lasting fault (no settings, a store that cannot be read) ends in a
  // failed unit after five tries in five minutes; a passing one (the word
  // database held for a moment by `varnox train`) is outlived by the retries.
  // SIGTERM stops watch as Ctrl-C does, the word database saved; saving a
  // large one is given time.
  return "[Unit]\n"
         "Description=Varnox spam filter: judges new mail in Maildir folders\n"
         "StartLimitIntervalSec=300\n"
         "StartLimitBurst=5\n"
         "\n"
         "[Service]\n"
         "Type=exec\n" +
         environment + "ExecStart=" + *command +
         "\n"
         "Restart=on-failure\n"
         "RestartSec=10\n"
         "KillSignal=SIGTERM\n"
         "TimeoutStopSec=120\n"
         "StandardOutput=journal\n"
         "StandardError=journal\n"
         "\n"
         "[Install]\n"
         "WantedBy=default.target\n";
}

}  // namespace varnox::watch

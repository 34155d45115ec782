// varnox status: where the settings and data live, and what they hold.
#include <sys/stat.h>

#include <string>
#include <string_view>

#include "engine/chi_square_judge.h"
#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/settings_file_registry.h"
#include "linux/platform/xdg_paths.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox status\n"
    "\n"
    "Shows the settings file and every setting in it, and whether each data file\n"
    "it names is there.\n";

std::string Padded(std::string_view name) {
  std::string text(name);
  text.resize(std::max<std::size_t>(text.size(), 24), ' ');
  return text;
}

std::string FileState(const std::string& path, std::string_view missing) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return std::string(missing);
  if (!S_ISREG(st.st_mode))
    return "not a file";
  return std::to_string(st.st_size) + " bytes";
}

// The setting SecondJudge, and its judge's file beside the word database
// once it is on or the file is there.
std::string SecondJudgeLine(const SettingsStore& store) {
  const bool on = store.SecondJudge() != 0;
  std::string text = "  " + Padded(setting::kSecondJudge) + (on ? "on" : "off");
  std::string word_file;
  if (store.WordFilePath(&word_file) && !word_file.empty()) {
    const std::string path = ChiSquareJudge::FilePath(word_file);
    struct stat st;
    if (on || ::stat(path.c_str(), &st) == 0)
      text += " (its file " + TerminalText(path) + ": " +
              FileState(path, "missing: made at the next save") + ")";
  }
  return text + "\n";
}

int Run(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("status takes no arguments (see varnox status --help)");
  const std::string& settings_path = context.paths().SettingsFile();
  std::string text = "Settings file           " + settings_path + "\n";
  SettingsFile parsed;
  switch (SettingsFileRegistry::Load(context.files(), settings_path, &parsed)) {
    case kErrorSuccess:
      break;
    case kErrorFileNotFound:
      context.Print(TerminalTextFromUtf8(text + "  (missing: `varnox init` lays it down)\n"));
      return kExitOk;
    default:
      context.Print(TerminalTextFromUtf8(text));
      return context.UserError("the settings file cannot be read, so every setting is off");
  }
  SettingsStore store(context.platform().registry);

  const char* const kPaths[] = {setting::kWordFilePath, setting::kIgnoreFilePath,
                                setting::kBlackListPath, setting::kWhiteListPath};
  for (const char* name : kPaths) {
    std::string path;
    text += "  " + Padded(name);
    if (store.ReadStringSetting(name, &path))
      text += TerminalText(path) + " (" +
              FileState(path, std::string_view(name) == setting::kWordFilePath
                                  ? "missing: made on first use"
                                  : "missing") +
              ")\n";
    else
      text += "(not set)\n";
  }
  std::string folder;
  text += "  " + Padded(setting::kNotSpamFolderName);
  text += store.NotSpamFolderName(&folder) && !folder.empty()
              ? TerminalText(folder) + "\n"
              : "(empty: the folder is asked for each time)\n";
  // Not stored: the Settings dialog's box that empties NotSpamFolderName.
  text += "  " + Padded("AskNotSpamFolder") + (folder.empty() ? "on\n" : "off\n");
  const char* const kSwitches[] = {setting::kBeepAtSpam,
                                   setting::kLearnFromBlackListed,
                                   setting::kLearnFromWhiteListed,
                                   setting::kMarkReadBeforeMoving,
                                   setting::kConsiderNonEnglishSpam,
                                   setting::kLearnFromMarkSpam,
                                   setting::kLearnFromNotSpam,
                                   setting::kSecondJudge,
                                   setting::kLearnFromMoves};
  for (const char* name : kSwitches) {
    text += std::string_view(name) == setting::kSecondJudge
                ? SecondJudgeLine(store)
                : "  " + Padded(name) + (store.ReadDword(name) != 0 ? "on\n" : "off\n");
  }
  context.Print(text);
  return kExitOk;
}

}  // namespace

extern const Command kStatusCommand{
    "status", "show the settings and the data files", kHelp, {}, Run};

}  // namespace varnox::cli

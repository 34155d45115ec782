// varnox stats: what the filter knows.
#include <sys/stat.h>

#include <string>

#include "addin/vnx_addin.h"
#include "engine/bayesian_filter.h"
#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox stats\n"
    "\n"
    "Shows the word database: its file and size, how many words it knows, and\n"
    "how many messages it learned as spam and as good mail; with the second judge\n"
    "switched on, or its file there, the same of the second judge's file; and how\n"
    "many entries the black list and the white list hold. Nothing is written, so\n"
    "stats may run beside varnox watch (which saves what it learned when it\n"
    "stops).\n";

std::string Row(std::string_view name, const std::string& value) {
  std::string text(name);
  text.resize(std::max<std::size_t>(text.size(), 16), ' ');
  return text + value + "\n";
}

std::string FileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return "missing";
  return std::to_string(st.st_size) + " bytes";
}

// The second judge: whether it is on, its file and what the file holds.
// Nothing for a user who never switched it on.
std::string SecondJudgeRows(const SettingsStore& settings, const std::string& word_file,
                            const ChiSquareJudge& judge) {
  const bool on = settings.SecondJudge() != 0;
  const std::string path = ChiSquareJudge::FilePath(word_file);
  struct stat st;
  const bool there = !path.empty() && ::stat(path.c_str(), &st) == 0;
  if (!on && !there)
    return {};
  std::string text = Row("Second judge", on ? "on" : "off (its file is kept up to date)");
  std::string file = TerminalText(path) + " (";
  if (!there)
    file += "missing: made at the next save)";
  else if (judge.unreadable())
    file += std::to_string(st.st_size) + " bytes, cannot be read: left as it is)";
  else
    file += std::to_string(st.st_size) + " bytes)";
  text += Row("  file", file);
  text += Row("  tokens", std::to_string(judge.table().size()));
  text += Row("  spam messages", std::to_string(judge.spamMessages()));
  text += Row("  good messages", std::to_string(judge.cleanMessages()));
  return text;
}

std::string Entries(const SenderList& list) {
  return std::to_string(list.addresses().size()) + " addresses, " +
         std::to_string(list.domains().size()) + " domains";
}

int Check(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("stats takes no arguments (see varnox stats --help)");
  return kExitOk;
}

int Run(CommandContext& context, const Arguments&) {
  std::string path;
  context.Addin().settings.WordFilePath(&path);
  BayesianFilter& filter = context.Addin().filter;
  // The counts are in the image's header: nothing else of it is read.
  filter.set_imageUse(WordStore::ImageUse::kRead);
  LoadWithoutSaving(context.platform(), filter);

  std::string text = Row("Word database", TerminalText(path) + " (" + FileSize(path) + ")");
  text += Row("Words", std::to_string(filter.WordCount()));
  text += Row("Spam messages", std::to_string(filter.SpamMessages()));
  text += Row("Good messages", std::to_string(filter.CleanMessages()));
  text += SecondJudgeRows(context.Addin().settings, path, filter.chiSquareJudge());
  text += Row("Black list", Entries(context.Addin().blackList));
  text += Row("White list", Entries(context.Addin().whiteList));
  context.Print(text);
  return kExitOk;
}

}  // namespace

extern const Command kStatsCommand{
    .name = "stats",
    .summary = "show what the filter knows: words and messages learned",
    .help = kHelp,
    .options = {},
    .run = Run,
    .needs = Needs::kWordDatabase,
    .first = Check};

}  // namespace varnox::cli

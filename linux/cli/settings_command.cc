// varnox settings: the Settings dialog from the command line. Show and set
// read and write the settings as the dialog does (settings/
// settings_choices.h); empty asks the dialog's question first; on a
// terminal, the dialog itself is the prompt.
#include <optional>
#include <string>
#include <vector>

#include "addin/vnx_addin.h"
#include "engine/bayesian_filter.h"
#include "linux/cli/command_context.h"
#include "linux/dialogs/console_dialog_runner.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/xdg_paths.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "platform/user_interface.h"
#include "settings/settings_choices.h"
#include "settings/settings_dialog.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: varnox settings [show]\n"
    "       varnox settings set NAME on|off [NAME on|off]...\n"
    "       varnox settings empty\n"
    "\n"
    "The Settings dialog. On a terminal, varnox settings alone opens it as a\n"
    "prompt; otherwise it shows the settings, as show does.\n"
    "\n"
    "  show    every setting, on or off, and the number of words the filter knows\n"
    "  set     changes settings, named as show names them (letter case does not\n"
    "          matter); the others keep their values\n"
    "  empty   empties the word database, after asking (--yes answers yes)\n"
    "\n"
    "The settings:\n"
    "  MarkReadBeforeMoving    spam moved to SpamFilter is marked read first\n"
    "  ConsiderNonEnglishSpam  kept for the Windows add-in; the rule against\n"
    "                          non-English characters always applies\n"
    "  BeepAtSpam              ring the terminal bell for spam\n"
    "  AskNotSpamFolder        on: not-spam in SpamFilter asks where good mail\n"
    "                          goes; off: it goes to the Inbox\n"
    "  LearnFromMarkSpam       kept for the Windows add-in; mark-spam always\n"
    "                          teaches the filter\n"
    "  LearnFromNotSpam        the same for not-spam\n"
    "  LearnFromBlackListed    mail from black-listed senders is learned as spam\n"
    "  LearnFromWhiteListed    mail from white-listed senders is learned as good\n"
    "  SecondJudge             the second judge decides instead of the classic one\n"
    "                          (it also reads the sender, Received hosts and links;\n"
    "                          see varnox eval --judge)\n"
    "  LearnFromMoves          varnox watch learns from your own moves: mail you\n"
    "                          move into SpamFilter (with a mail client or over\n"
    "                          IMAP) as spam, mail you move out of it as good\n"
    "\n"
    "A running varnox watch uses a changed setting from the next message on.\n"
    "While it runs, it empties the database for settings empty (the question\n"
    "is asked on this terminal). The prompt, which offers emptying too, is\n"
    "refused while another Varnox command, such as varnox watch, holds the\n"
    "word database.\n";

// The settings with no box in the Settings dialog, set and shown here
// directly: DWORDs, off by default.
struct ExtraSetting {
  const char* name;
  std::string_view caption;
};
constexpr ExtraSetting kExtraSettings[] = {
    {setting::kLearnFromMoves, "watch learns from your moves into and out of SpamFilter"},
};

const ExtraSetting* FindExtra(std::string_view name) {
  for (const ExtraSetting& extra : kExtraSettings) {
    if (code_page::EqualsIgnoreCase(extra.name, name))
      return &extra;
  }
  return nullptr;
}

const ConsoleSettingsBox* FindBox(std::string_view name) {
  for (const ConsoleSettingsBox& box : ConsoleSettingsBoxes()) {
    if (code_page::EqualsIgnoreCase(box.name, name))
      return &box;
  }
  return nullptr;
}

int Show(CommandContext& context) {
  CVNXAddin& addin = context.Addin();
  const SettingsChoices shown = ReadSettingsChoices(addin.settings);
  std::string text = "Settings in " + context.paths().SettingsFile() + "\n";
  for (const ConsoleSettingsBox& box : ConsoleSettingsBoxes()) {
    std::string name(box.name);
    name.resize(std::max<std::size_t>(name.size(), 24), ' ');
    text += "  " + name + (shown.*box.choice ? "on   " : "off  ") + std::string(box.caption) + "\n";
  }
  for (const ExtraSetting& extra : kExtraSettings) {
    std::string name(extra.name);
    name.resize(24, ' ');
    text += "  " + name + (addin.settings.ReadDword(extra.name) != 0 ? "on   " : "off  ") +
            std::string(extra.caption) + "\n";
  }
  text += TerminalText(std::string(SettingsDialog::kWordCountLabel) +
                       std::to_string(addin.filter.WordCount())) +
          "\n";
  context.Print(TerminalTextFromUtf8(text));
  return kExitOk;
}

int Set(CommandContext& context, std::span<const std::string> pairs) {
  if (pairs.empty() || pairs.size() % 2 != 0)
    return context.UserError("set needs NAME on|off pairs (see varnox settings --help)");
  std::vector<std::pair<const ConsoleSettingsBox*, bool>> changes;
  std::vector<std::pair<const ExtraSetting*, bool>> extras;
  for (std::size_t i = 0; i < pairs.size(); i += 2) {
    if (const ExtraSetting* extra = FindExtra(pairs[i]); extra != nullptr) {
      if (pairs[i + 1] != "on" && pairs[i + 1] != "off")
        return context.UserError(std::string("say on or off for ") + extra->name + ", not '" +
                                 TerminalTextFromUtf8(pairs[i + 1]) + "'");
      extras.emplace_back(extra, pairs[i + 1] == "on");
      continue;
    }
    const ConsoleSettingsBox* box = FindBox(pairs[i]);
    if (box == nullptr)
      return context.UserError("there is no setting '" + TerminalTextFromUtf8(pairs[i]) +
                               "' (see varnox settings --help)");
    if (pairs[i + 1] != "on" && pairs[i + 1] != "off")
      return context.UserError("say on or off for " + std::string(box->name) + ", not '" +
                               TerminalTextFromUtf8(pairs[i + 1]) + "'");
    changes.emplace_back(box, pairs[i + 1] == "on");
  }
  SettingsStore& settings = context.Addin().settings;
  std::vector<std::string> failed;
  for (const auto& [extra, on] : extras) {
    settings.WriteDword(extra->name, on ? 1 : 0);
    if ((settings.ReadDword(extra->name) != 0) != on)
      failed.emplace_back(extra->name);
  }
  if (!changes.empty()) {
    // As the dialog's OK: every box written, the others as they read now.
    const SettingsChoices shown = ReadSettingsChoices(settings);
    SettingsChoices chosen = shown;
    for (const auto& [box, on] : changes)
      chosen.*box->choice = on;
    WriteSettingsChoices(settings, chosen, shown.secondJudge);
    // A write that failed is silent; the settings read back tell.
    const SettingsChoices now = ReadSettingsChoices(settings);
    for (const auto& [box, on] : changes) {
      if (now.*box->choice != on)
        failed.emplace_back(box->name);
    }
  }
  if (!failed.empty()) {
    std::string names;
    for (const std::string& name : failed)
      names += " " + name;
    return context.UserError("these settings could not be written to " +
                             context.paths().SettingsFile() + ":" + names);
  }
  return Show(context);
}

// Emptying saves the database at once, so it needs the database's lock and a
// filter that writes. The question is the dialog's (--yes answers it).
int Empty(CommandContext& context) {
  if (int status = context.Provide(Needs::kWordDatabaseLock); status != kExitOk)
    return status;
  CVNXAddin& addin = context.Addin();
  if (context.serving_session() == nullptr)
    addin.filter.Initialize();  // a running watch has it loaded
  UserInterface& ui = context.platform().ui;
  if (ui.ShowMessage(SettingsDialog::kEmptyQuestion, SettingsDialog::kEmptyQuestionCaption,
                     kMbYesNo) != kIdYes)
    return context.UserError("the word database was not emptied");
  addin.filter.Empty();
  ui.ShowMessage(SettingsDialog::kEmptyDone, "", kMbOk);
  const bool emptied = addin.filter.WordCount() == 0 && addin.filter.core().saved() != 0;
  return emptied ? kExitOk : context.UserError("the word database was not emptied");
}

// The prompt may empty the database too.
int Prompt(CommandContext& context) {
  if (int status = context.Provide(Needs::kWordDatabaseLock); status != kExitOk)
    return status;
  CVNXAddin& addin = context.Addin();
  addin.filter.Initialize();
  SettingsDialog dialog(addin.filter, addin.settings);
  context.dialogs().RunModal(dialog);
  return kExitOk;
}

int Run(CommandContext& context, const Arguments& arguments) {
  const std::vector<std::string>& operands = arguments.operands;
  if (operands.empty() && context.console().CanAsk())
    return Prompt(context);
  if (operands.empty()) {
    LoadWithoutSaving(context.platform(), context.Addin().filter);
    return Show(context);
  }
  const std::string& action = operands[0];
  if (action == "empty" && operands.size() == 1)
    return Empty(context);
  // Show and set change nothing but the settings: the filter is loaded
  // only to count its words, and never saved.
  if (action == "show" && operands.size() == 1) {
    LoadWithoutSaving(context.platform(), context.Addin().filter);
    return Show(context);
  }
  if (action == "set") {
    LoadWithoutSaving(context.platform(), context.Addin().filter);
    return Set(context, std::span(operands).subspan(1));
  }
  return context.UserError("unknown settings action '" + TerminalTextFromUtf8(action) +
                           "' (see varnox settings --help)");
}

}  // namespace

// Every action reads the settings; emptying, here or at the prompt, asks for
// the word database's lock as well.
extern const Command kSettingsCommand{
    .name = "settings",
    .summary = "show and change the settings; empty the word database",
    .help = kHelp,
    .options = {},
    .run = Run,
    .needs = Needs::kSettings};

}  // namespace varnox::cli

#include "linux/dialogs/console_dialog_runner.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <vector>

#include "linux/platform/console_texts.h"
#include "mail/folder_pickers.h"
#include "mail/train_dialog.h"
#include "platform/code_page.h"
#include "settings/info_dialogs.h"
#include "settings/settings_dialog.h"

namespace varnox {
namespace {

// Control ids of the dialogs whose console faces ask.
constexpr int kSelectFolderList = SelectFolderDialog::kIdFolderList;
constexpr int kSelectFolderDontAsk = SelectFolderDialog::kIdDontDisplayAgain;
constexpr int kSelectFoldersList = SelectFoldersDialog::kIdFolderList;
constexpr int kTrainSpamEdit = TrainDialog::kIdSpamFolders;
constexpr int kTrainChooseSpam = TrainDialog::kIdChooseSpamFolders;
constexpr int kTrainGoodEdit = TrainDialog::kIdGoodFolders;
constexpr int kTrainChooseGood = TrainDialog::kIdChooseGoodFolders;
constexpr int kTrainEmptyFirst = TrainDialog::kIdEmptyFirst;

// A person who types nonsense is asked again, but not for ever.
constexpr int kMaxTries = 3;
// The settings prompt takes one change per answer; nobody needs more.
constexpr int kMaxSettingsAnswers = 100;

// The number `text` spells, if it is one from 1 to `count`; else 0.
int Choice(std::string_view text, int count) {
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < 1 || number > count)
    return 0;
  return number;
}

// 1 for yes, 0 for no (also at the end of the input), with `yes_default`
// deciding an empty answer.
bool AskYesNo(ConsoleUserInterface& console, std::string_view question, bool yes_default) {
  const std::string prompt = std::string(question) + (yes_default ? " [Y/n] " : " [y/N] ");
  for (int tries = 0; tries < kMaxTries; ++tries) {
    std::string answer;
    if (!console.Ask(prompt, &answer))
      return false;
    if (answer.empty())
      return yes_default;
    if (code_page::EqualsIgnoreCase(answer, "y") || code_page::EqualsIgnoreCase(answer, "yes"))
      return true;
    if (code_page::EqualsIgnoreCase(answer, "n") || code_page::EqualsIgnoreCase(answer, "no"))
      return false;
    console.Write("Please answer y or n.\n");
  }
  return false;
}

std::string Numbered(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += "  " + std::to_string(i + 1) + "  " + TerminalText(names[i]) + "\n";
  return text;
}

// "Select Outlook Folder", on the console "Select Maildir Folder": one folder
// by its number, then the box.
void PickOneFolder(ConsoleDialogView& view) {
  ConsoleUserInterface& console = view.console();
  const std::vector<std::string> names = view.ComboEntries(kSelectFolderList);
  console.Write(std::string(ConsoleText("Select Outlook Folder")) + "\n" + Numbered(names));
  for (int tries = 0; tries < kMaxTries && !view.ended(); ++tries) {
    std::string answer;
    if (!console.Ask("Folder number (Enter cancels): ", &answer) || answer.empty())
      return;
    const int number = Choice(answer, static_cast<int>(names.size()));
    if (number == 0) {
      console.Write("Please answer with a number from 1 to " + std::to_string(names.size()) +
                    ".\n");
      continue;
    }
    view.SelectCombo(kSelectFolderList, number - 1);
    view.Tick(kSelectFolderDontAsk, AskYesNo(console, "Don't Display this again", false));
    view.Click(kIdOkButton);
  }
}

// The numbers of `answer` (separated by blanks or commas), each from 1 to
// `count`; false when any is not.
bool ParseNumbers(std::string_view answer, int count, std::vector<int>* numbers) {
  numbers->clear();
  std::size_t at = 0;
  while (at < answer.size()) {
    const std::size_t end = answer.find_first_of(" ,\t", at);
    const std::string_view word = answer.substr(at, end - at);
    if (!word.empty()) {
      const int number = Choice(word, count);
      if (number == 0)
        return false;
      numbers->push_back(number);
    }
    if (end == std::string_view::npos)
      break;
    at = end + 1;
  }
  return true;
}

// "Select Folders": any number of folders by their numbers.
void PickFolders(ConsoleDialogView& view) {
  ConsoleUserInterface& console = view.console();
  const std::vector<std::string> names = view.Rows(kSelectFoldersList);
  console.Write(Numbered(names));
  for (int tries = 0; tries < kMaxTries; ++tries) {
    std::string answer;
    if (!console.Ask("Folder numbers, separated by spaces (Enter for none): ", &answer))
      return;
    std::vector<int> numbers;
    if (!ParseNumbers(answer, static_cast<int>(names.size()), &numbers)) {
      console.Write("Please answer with numbers from 1 to " + std::to_string(names.size()) + ".\n");
      continue;
    }
    for (int number : numbers)
      view.TickRow(kSelectFoldersList, number - 1);
    view.Click(kIdOkButton);
    return;
  }
}

// "Train Bayesian Filter": both choices, the box, then Start Training.
void AskTraining(ConsoleDialogView& view) {
  ConsoleUserInterface& console = view.console();
  console.Write("Train Bayesian Filter\nFolders containing spam mails:\n");
  view.Click(kTrainChooseSpam);
  console.Write("Folders containing good mails:\n");
  view.Click(kTrainChooseGood);
  view.Tick(kTrainEmptyFirst,
            AskYesNo(console, "Empty the current bayesian filter before starting", false));
  console.Write("Spam: " + TerminalText(view.ControlText(kTrainSpamEdit, std::string::npos)) +
                "\nGood: " + TerminalText(view.ControlText(kTrainGoodEdit, std::string::npos)) +
                "\n");
  if (AskYesNo(console, "Start Training", true))
    view.Click(kIdOkButton);
}

// "Settings": change boxes by number until the user saves or cancels.
void AskSettings(ConsoleDialogView& view) {
  ConsoleUserInterface& console = view.console();
  const std::span<const ConsoleSettingsBox> boxes = ConsoleSettingsBoxes();
  const int box_count = static_cast<int>(boxes.size());
  for (int round = 0; round < kMaxSettingsAnswers && !view.ended(); ++round) {
    std::string text = "Settings\n";
    for (int i = 0; i < box_count; ++i) {
      const ConsoleSettingsBox& box = boxes[static_cast<std::size_t>(i)];
      text += "  " + std::to_string(i + 1) + (view.IsChecked(box.id) ? " [x] " : " [ ] ") +
              std::string(box.caption) + "\n";
    }
    text += TerminalText(view.ControlText(SettingsDialog::kIdWordCount, std::string::npos)) + "\n";
    console.Write(text);
    std::string answer;
    if (!console.Ask("Number to change, e to empty the database, Enter to save, q to cancel: ",
                     &answer) ||
        code_page::EqualsIgnoreCase(answer, "q")) {
      view.Click(kIdCancelButton);
    } else if (answer.empty()) {
      view.Click(kIdOkButton);
    } else if (code_page::EqualsIgnoreCase(answer, "e")) {
      view.Click(SettingsDialog::kIdEmpty);
    } else if (const int number = Choice(answer, box_count); number != 0) {
      const int id = boxes[static_cast<std::size_t>(number - 1)].id;
      view.Tick(id, !view.IsChecked(id));
    } else {
      console.Write("Please answer with a number from 1 to " + std::to_string(box_count) +
                    ", e, q or Enter.\n");
    }
  }
}

}  // namespace

std::span<const ConsoleSettingsBox> ConsoleSettingsBoxes() {
  static constexpr ConsoleSettingsBox kBoxes[] = {
      {SettingsDialog::kIdMarkRead, setting::kMarkReadBeforeMoving,
       "When moving spam to the SpamFilter Folder mark it as read.",
       &SettingsChoices::markReadBeforeMoving},
      {SettingsDialog::kIdNonEnglish, setting::kConsiderNonEnglishSpam,
       "Consider Mail having Non-English Characters as Spam.",
       &SettingsChoices::considerNonEnglishSpam},
      {SettingsDialog::kIdBeep, setting::kBeepAtSpam, "Beep When a Mail is Marked Spam",
       &SettingsChoices::beepAtSpam},
      {SettingsDialog::kIdAskFolder, "AskNotSpamFolder", "Display Select Destination Folder",
       &SettingsChoices::askNotSpamFolder},
      {SettingsDialog::kIdLearnSpam, setting::kLearnFromMarkSpam,
       "Learn from the mails Marked Spam by you.", &SettingsChoices::learnFromMarkSpam},
      {SettingsDialog::kIdLearnNotSpam, setting::kLearnFromNotSpam,
       "Learn from the mails Marked Not Spam by you.", &SettingsChoices::learnFromNotSpam},
      {SettingsDialog::kIdLearnBlack, setting::kLearnFromBlackListed,
       "Learn from Blacklisted Mails", &SettingsChoices::learnFromBlackListed},
      {SettingsDialog::kIdLearnWhite, setting::kLearnFromWhiteListed,
       "Learn from Whitelisted Mails", &SettingsChoices::learnFromWhiteListed},
      {SettingsDialog::kIdSecondJudge, setting::kSecondJudge,
       "Let the second judge decide which mails are Spam.", &SettingsChoices::secondJudge},
  };
  return kBoxes;
}

std::string_view ConsoleDialogRunner::Caption(int template_id) {
  switch (template_id) {
    case dialog_id::kSelectFolder:
      return ConsoleText("Select Outlook Folder");
    case dialog_id::kTrain:
      return "Train Bayesian Filter";
    case dialog_id::kSelectFolders:
      return "Select Folders";
    case dialog_id::kBlackList:
      return "BlackList";
    case dialog_id::kWhiteList:
      return "WhiteList";
    case dialog_id::kSettings:
      return "Settings";
    case dialog_id::kMailHeaders:
      return "Mail Headers";
    case dialog_id::kAbout:
      return "About";
    default:
      return "Dialog";
  }
}

void ConsoleDialogRunner::Print(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(output_fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

ConsoleDialogRunner::Answer ConsoleDialogRunner::ConsoleFace(int template_id) {
  // The information dialogs ask nothing: they show their text and close.
  if (template_id == dialog_id::kMailHeaders || template_id == dialog_id::kAbout) {
    const int id =
        template_id == dialog_id::kAbout ? AboutDialog::kIdNotice : MailHeaderDialog::kIdHeaderText;
    return [this, id](ConsoleDialogView& view) {
      std::string text = TerminalText(ConsoleText(view.ControlText(id, std::string::npos)));
      if (!text.empty() && text.back() != '\n')
        text.push_back('\n');
      Print(text);
      view.Click(kIdCancelButton);
    };
  }
  if (!console_.CanAsk())
    return nullptr;
  switch (template_id) {
    case dialog_id::kSelectFolder:
      return PickOneFolder;
    case dialog_id::kSelectFolders:
      return PickFolders;
    case dialog_id::kTrain:
      return AskTraining;
    case dialog_id::kSettings:
      return AskSettings;
    default:
      return nullptr;
  }
}

int ConsoleDialogRunner::RunModal(DialogController& controller) {
  const int template_id = controller.TemplateId();
  const Answer answer = ConsoleFace(template_id);
  ConsoleDialogView view(controller, console_);
  controller.OnInitDialog(view);
  if (answer) {
    answer(view);
  } else {
    console_.Write(std::string(Caption(template_id)) +
                   ": not shown, since nobody can be asked here (the input is not a terminal, "
                   "or --yes was given); closed without an answer\n");
  }
  if (!view.ended())
    view.Click(kIdCancelButton);
  return view.result();
}

}  // namespace varnox

// Dialogs on the console: the same controllers as in the mail client, shown
// where a person is asked something, as a short prompt on the terminal.
//
// For each dialog it is asked to show, the runner opens a ConsoleDialogView,
// lets the controller fill it, and then plays the dialog's console face: the
// information dialogs (Mail Headers, About) print what they show on the
// output; the folder pickers, the training dialog and the settings ask on
// the terminal, when a person can be asked (ConsoleUserInterface::CanAsk).
// Otherwise the dialog is closed unanswered, and the console says so.
// A dialog that the answer leaves open is closed as its window's close box
// closes it (Cancel). RunModal gives what the controller ended it with.
//
// One thread; the runner and the console must outlive every run.
#ifndef VARNOX_LINUX_DIALOGS_CONSOLE_DIALOG_RUNNER_H_
#define VARNOX_LINUX_DIALOGS_CONSOLE_DIALOG_RUNNER_H_

#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string_view>

#include "linux/dialogs/console_dialog_view.h"
#include "linux/platform/console_user_interface.h"
#include "platform/dialog.h"
#include "settings/settings_choices.h"

namespace varnox {

// The Settings dialog's check boxes as the console shows them, in the
// template's order: control id, the name the command line uses (the setting's
// value name; AskNotSpamFolder for "Display Select Destination Folder", which
// stands for an empty NotSpamFolderName), the caption, and the choice it
// shows.
struct ConsoleSettingsBox {
  int id;
  std::string_view name;
  std::string_view caption;
  bool SettingsChoices::*choice;
};
std::span<const ConsoleSettingsBox> ConsoleSettingsBoxes();

class ConsoleDialogRunner final : public DialogRunner {
 public:
  using Answer = std::function<void(ConsoleDialogView&)>;

  // What dialogs print goes to `output_fd` (standard output); questions and
  // message boxes go through `console`.
  explicit ConsoleDialogRunner(ConsoleUserInterface& console, int output_fd = 1)
      : console_(console), output_fd_(output_fd) {}

  int RunModal(DialogController& controller) override;

  // The dialog's title as the console names it ("Select Maildir Folder").
  static std::string_view Caption(int template_id);

 private:
  Answer ConsoleFace(int template_id);
  void Print(std::string_view utf8);

  ConsoleUserInterface& console_;
  int output_fd_;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_DIALOGS_CONSOLE_DIALOG_RUNNER_H_

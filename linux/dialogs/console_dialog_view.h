// The controls of one dialog running on the console, kept in memory.
//
// A controller fills them as it would fill a window; what the user answers
// at a prompt is played on them by the console dialog runner, and each
// action sends the controller the same command that the real control sends.
// Message boxes owned by the dialog go to the console like any other message
// box.
//
// Valid for one run of one dialog; used on the one thread of the command.
#ifndef VARNOX_LINUX_DIALOGS_CONSOLE_DIALOG_VIEW_H_
#define VARNOX_LINUX_DIALOGS_CONSOLE_DIALOG_VIEW_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "linux/platform/console_user_interface.h"
#include "platform/dialog.h"

namespace varnox {

class ConsoleDialogView final : public DialogView {
 public:
  // Both must outlive the view.
  ConsoleDialogView(DialogController& controller, ConsoleUserInterface& console)
      : controller_(controller), console_(console) {}

  // DialogView: what the controller does.
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id, std::size_t max_chars) override;
  void SetChecked(int id, bool checked) override { checks_[id] = checked; }
  bool IsChecked(int id) override { return checks_[id]; }
  void AddComboEntry(int id, std::string_view text) override;
  int ComboSelection(int id) override { return combos_[id].selection; }
  std::string ComboEntryText(int id, int index) override;
  void SetUpListView(int id, std::string_view column_title, int column_width_pixels,
                     bool check_boxes, bool full_row_select) override;
  void DeleteAllRows(int id) override;
  int AppendRow(int id, std::string_view text) override;
  void SetRowText(int id, int row, std::string_view text) override;
  std::string RowText(int id, int row, std::size_t max_chars) override;
  int RowCount(int id) override { return static_cast<int>(lists_[id].rows.size()); }
  bool IsRowChecked(int id, int row) override;
  void DeleteRow(int id, int row) override;
  // The prompts tick rows; none is ever marked by a click.
  int SelectionMark(int) override { return -1; }
  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  void SetFocus(int) override {}
  void EndDialog(int result) override;

  // What the user does. Actions after the dialog has ended do nothing.
  void Click(int id);
  void Tick(int id, bool checked) { checks_[id] = checked; }
  // An index outside the entries does nothing.
  void SelectCombo(int id, int index);
  void TickRow(int id, int row, bool checked = true);

  // What the user sees.
  std::vector<std::string> ComboEntries(int id) { return combos_[id].entries; }
  std::vector<std::string> Rows(int id);

  bool ended() const { return ended_; }
  int result() const { return result_; }
  ConsoleUserInterface& console() { return console_; }

 private:
  struct ListView {
    std::vector<std::string> rows;
    std::vector<bool> checked;
  };
  struct Combo {
    std::vector<std::string> entries;
    int selection = -1;
  };
  bool HasRow(int id, int row);

  DialogController& controller_;
  ConsoleUserInterface& console_;
  std::map<int, std::string> texts_;
  std::map<int, bool> checks_;
  std::map<int, Combo> combos_;
  std::map<int, ListView> lists_;
  bool ended_ = false;
  int result_ = -1;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_DIALOGS_CONSOLE_DIALOG_VIEW_H_

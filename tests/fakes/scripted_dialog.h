// A dialog view and runner for tests: the view keeps every control's state in
// memory; the runner plays, for each dialog it is asked to show, the next
// script that the test queued for that dialog template.
//
//   ScriptedDialogRunner dialogs;
//   dialogs.Expect(dialog_id::kSelectFolder, [](ScriptedDialogView& v) {
//     v.SelectCombo(201, 0);
//     v.Click(1);
//   });
//   ... code under test calls dialogs.RunModal(controller) ...
#ifndef VARNOX_TESTS_FAKES_SCRIPTED_DIALOG_H_
#define VARNOX_TESTS_FAKES_SCRIPTED_DIALOG_H_

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace varnox::testing {

class ScriptedDialogView final : public DialogView {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    std::uint32_t flags;
  };
  struct Row {
    std::string text;
    bool checked = false;
  };
  struct ListView {
    std::string column_title;
    int column_width = 0;
    bool check_boxes = false;
    bool full_row_select = false;
    std::vector<Row> rows;
    int selection_mark = -1;
  };
  struct Combo {
    std::vector<std::string> entries;
    int selection = -1;
  };

  explicit ScriptedDialogView(DialogController& controller) : controller_(controller) {}

  // DialogView.
  void SetControlText(int id, std::string_view text) override { texts[id] = std::string(text); }
  std::string ControlText(int id, std::size_t max_chars) override;
  void SetChecked(int id, bool checked) override { checks[id] = checked; }
  bool IsChecked(int id) override { return checks[id]; }
  void AddComboEntry(int id, std::string_view text) override;
  int ComboSelection(int id) override { return combos[id].selection; }
  std::string ComboEntryText(int id, int index) override;
  void SetUpListView(int id, std::string_view column_title, int column_width_pixels,
                     bool check_boxes, bool full_row_select) override;
  void DeleteAllRows(int id) override { lists[id].rows.clear(); }
  int AppendRow(int id, std::string_view text) override;
  void SetRowText(int id, int row, std::string_view text) override;
  std::string RowText(int id, int row, std::size_t max_chars) override;
  int RowCount(int id) override { return static_cast<int>(lists[id].rows.size()); }
  bool IsRowChecked(int id, int row) override;
  void DeleteRow(int id, int row) override;
  int SelectionMark(int id) override { return lists[id].selection_mark; }
  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  void SetFocus(int id) override { focus = id; }
  void EndDialog(int result) override;

  // What a user does. Each action sends the controller the command the real
  // control would send; actions after the dialog has ended do nothing.
  void Click(int id);
  void Type(int id, std::string_view text) { texts[id] = std::string(text); }
  void Tick(int id, bool checked) { checks[id] = checked; }
  void SelectCombo(int id, int index);
  void TickRow(int id, int row, bool checked = true);
  void DoubleClickRow(int id, int row);  // row -1: a click beside every row
  void Close() { Click(kIdCancelButton); }

  bool ended() const { return ended_; }
  int result() const { return result_; }

  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  std::map<int, Combo> combos;
  std::map<int, ListView> lists;
  std::vector<Shown> messages;
  std::deque<int> answers;  // for ShowMessage; default kIdOk / kIdNo for Yes/No
  int focus = 0;

 private:
  DialogController& controller_;
  bool ended_ = false;
  int result_ = -1;
};

class ScriptedDialogRunner final : public DialogRunner {
 public:
  using Script = std::function<void(ScriptedDialogView&)>;

  // Queues a script for the next dialog of `template_id`. A dialog shown
  // without a queued script fails the test and returns -1.
  void Expect(int template_id, Script script) {
    scripts_[template_id].push_back(std::move(script));
  }

  int RunModal(DialogController& controller) override;

  // Every dialog shown, in order, with the view as the script left it.
  struct Run {
    int template_id;
    int result;
    std::vector<ScriptedDialogView::Shown> messages;
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, ScriptedDialogView::ListView> lists;
    std::map<int, ScriptedDialogView::Combo> combos;
  };
  std::vector<Run> runs;
  int Unplayed() const;

 private:
  std::map<int, std::deque<Script>> scripts_;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_FAKES_SCRIPTED_DIALOG_H_

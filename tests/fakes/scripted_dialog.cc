#include "tests/fakes/scripted_dialog.h"

#include <gtest/gtest.h>

#include "platform/user_interface.h"

namespace varnox::testing {

std::string ScriptedDialogView::ControlText(int id, std::size_t max_chars) {
  const std::string& text = texts[id];
  return text.substr(0, std::min(text.size(), max_chars));
}

void ScriptedDialogView::AddComboEntry(int id, std::string_view text) {
  combos[id].entries.emplace_back(text);
}

std::string ScriptedDialogView::ComboEntryText(int id, int index) {
  const Combo& combo = combos[id];
  if (index < 0 || index >= static_cast<int>(combo.entries.size()))
    return {};
  return combo.entries[index];
}

void ScriptedDialogView::SetUpListView(int id, std::string_view column_title,
                                       int column_width_pixels, bool check_boxes,
                                       bool full_row_select) {
  ListView& list = lists[id];
  list.column_title = std::string(column_title);
  list.column_width = column_width_pixels;
  list.check_boxes = check_boxes;
  list.full_row_select = full_row_select;
}

int ScriptedDialogView::AppendRow(int id, std::string_view text) {
  lists[id].rows.push_back(Row{std::string(text), false});
  return static_cast<int>(lists[id].rows.size()) - 1;
}

void ScriptedDialogView::SetRowText(int id, int row, std::string_view text) {
  ListView& list = lists[id];
  ASSERT_TRUE(row >= 0 && row < static_cast<int>(list.rows.size())) << "row " << row;
  list.rows[row].text = std::string(text);
}

std::string ScriptedDialogView::RowText(int id, int row, std::size_t max_chars) {
  ListView& list = lists[id];
  if (row < 0 || row >= static_cast<int>(list.rows.size()))
    return {};
  const std::string& text = list.rows[row].text;
  return text.substr(0, std::min(text.size(), max_chars));
}

bool ScriptedDialogView::IsRowChecked(int id, int row) {
  ListView& list = lists[id];
  if (row < 0 || row >= static_cast<int>(list.rows.size()))
    return false;
  return list.rows[row].checked;
}

void ScriptedDialogView::DeleteRow(int id, int row) {
  ListView& list = lists[id];
  if (row < 0 || row >= static_cast<int>(list.rows.size()))
    return;
  list.rows.erase(list.rows.begin() + row);
  if (list.selection_mark >= static_cast<int>(list.rows.size()))
    list.selection_mark = -1;
}

int ScriptedDialogView::ShowMessage(std::string_view text, std::string_view caption,
                                    std::uint32_t flags) {
  messages.push_back(Shown{std::string(text), std::string(caption), flags});
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (flags & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

void ScriptedDialogView::EndDialog(int result) {
  ended_ = true;
  result_ = result;
}

void ScriptedDialogView::Click(int id) {
  if (ended_)
    return;
  controller_.OnCommand(*this, id, ControlEvent::kClicked);
  if (id == kIdCancelButton && !ended_)
    EndDialog(kIdCancelButton);
}

void ScriptedDialogView::SelectCombo(int id, int index) {
  if (ended_)
    return;
  combos[id].selection = index;
  controller_.OnCommand(*this, id, ControlEvent::kSelectionChanged);
}

void ScriptedDialogView::TickRow(int id, int row, bool checked) {
  ListView& list = lists[id];
  ASSERT_TRUE(row >= 0 && row < static_cast<int>(list.rows.size())) << "row " << row;
  list.rows[row].checked = checked;
}

void ScriptedDialogView::DoubleClickRow(int id, int row) {
  if (ended_)
    return;
  lists[id].selection_mark = row;
  controller_.OnCommand(*this, id, ControlEvent::kDoubleClicked);
}

int ScriptedDialogRunner::RunModal(DialogController& controller) {
  auto it = scripts_.find(controller.TemplateId());
  if (it == scripts_.end() || it->second.empty()) {
    ADD_FAILURE() << "dialog " << controller.TemplateId() << " shown without a script";
    return -1;
  }
  Script script = std::move(it->second.front());
  it->second.pop_front();
  ScriptedDialogView view(controller);
  controller.OnInitDialog(view);
  script(view);
  EXPECT_TRUE(view.ended()) << "the script of dialog " << controller.TemplateId()
                            << " left it open";
  runs.push_back(Run{controller.TemplateId(), view.result(), view.messages, view.texts, view.checks,
                     view.lists, view.combos});
  return view.result();
}

int ScriptedDialogRunner::Unplayed() const {
  int count = 0;
  for (const auto& [id, queue] : scripts_)
    count += static_cast<int>(queue.size());
  return count;
}

}  // namespace varnox::testing

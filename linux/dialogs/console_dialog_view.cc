#include "linux/dialogs/console_dialog_view.h"

#include <algorithm>

namespace varnox {
namespace {

std::string Cut(const std::string& text, std::size_t max_chars) {
  return text.substr(0, std::min(text.size(), max_chars));
}

}  // namespace

void ConsoleDialogView::SetControlText(int id, std::string_view text) {
  texts_[id] = std::string(text);
}

std::string ConsoleDialogView::ControlText(int id, std::size_t max_chars) {
  return Cut(texts_[id], max_chars);
}

void ConsoleDialogView::AddComboEntry(int id, std::string_view text) {
  combos_[id].entries.emplace_back(text);
}

std::string ConsoleDialogView::ComboEntryText(int id, int index) {
  const Combo& combo = combos_[id];
  if (index < 0 || index >= static_cast<int>(combo.entries.size()))
    return {};
  return combo.entries[static_cast<std::size_t>(index)];
}

void ConsoleDialogView::SetUpListView(int id, std::string_view, int, bool, bool) {
  lists_[id];  // the console shows rows and ticks whatever the columns
}

void ConsoleDialogView::DeleteAllRows(int id) {
  lists_[id] = ListView{};
}

int ConsoleDialogView::AppendRow(int id, std::string_view text) {
  ListView& list = lists_[id];
  list.rows.emplace_back(text);
  list.checked.push_back(false);
  return static_cast<int>(list.rows.size()) - 1;
}

bool ConsoleDialogView::HasRow(int id, int row) {
  return row >= 0 && row < RowCount(id);
}

void ConsoleDialogView::SetRowText(int id, int row, std::string_view text) {
  if (HasRow(id, row))
    lists_[id].rows[static_cast<std::size_t>(row)] = std::string(text);
}

std::string ConsoleDialogView::RowText(int id, int row, std::size_t max_chars) {
  return HasRow(id, row) ? Cut(lists_[id].rows[static_cast<std::size_t>(row)], max_chars) : "";
}

bool ConsoleDialogView::IsRowChecked(int id, int row) {
  return HasRow(id, row) && lists_[id].checked[static_cast<std::size_t>(row)];
}

void ConsoleDialogView::DeleteRow(int id, int row) {
  if (!HasRow(id, row))
    return;
  ListView& list = lists_[id];
  list.rows.erase(list.rows.begin() + row);
  list.checked.erase(list.checked.begin() + row);
}

int ConsoleDialogView::ShowMessage(std::string_view text, std::string_view caption,
                                   std::uint32_t flags) {
  return console_.ShowMessage(text, caption, flags);
}

void ConsoleDialogView::EndDialog(int result) {
  ended_ = true;
  result_ = result;
}

void ConsoleDialogView::Click(int id) {
  if (ended_)
    return;
  controller_.OnCommand(*this, id, ControlEvent::kClicked);
  // Esc and the close box end a dialog whose controller did not end it.
  if (id == kIdCancelButton && !ended_)
    EndDialog(kIdCancelButton);
}

void ConsoleDialogView::SelectCombo(int id, int index) {
  Combo& combo = combos_[id];
  if (ended_ || index < 0 || index >= static_cast<int>(combo.entries.size()))
    return;
  combo.selection = index;
  controller_.OnCommand(*this, id, ControlEvent::kSelectionChanged);
}

void ConsoleDialogView::TickRow(int id, int row, bool checked) {
  if (HasRow(id, row))
    lists_[id].checked[static_cast<std::size_t>(row)] = checked;
}

std::vector<std::string> ConsoleDialogView::Rows(int id) {
  return lists_[id].rows;
}

}  // namespace varnox

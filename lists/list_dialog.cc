#include "lists/list_dialog.h"

#include <exception>

#include "lists/list_edits.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

constexpr std::string_view kAddToList = "Add To List";  // as the template has it
constexpr std::string_view kAddToListAfterUpdate = "Add to List";
constexpr std::string_view kUpdate = "Update";
constexpr std::string_view kDomainName = "Domain Name";
constexpr std::string_view kEmailAddress = "EMail Address";
constexpr std::string_view kColumnTitle = "Item";
constexpr int kColumnWidthPixels = 200;

constexpr std::string_view kSelectType = "Please Select an Item Type";
constexpr std::string_view kEnterName = "Please Enter an Item Name";
constexpr std::string_view kSelectToRemove = "Please Select an Item to Remove";

EntryKind KindOf(int type) {
  return type == ListDialog::kTypeAddress ? EntryKind::kAddress : EntryKind::kDomain;
}

}  // namespace

int ListDialog::TemplateId() const {
  return list_.kind() == ListKind::Black ? dialog_id::kBlackList : dialog_id::kWhiteList;
}

void ListDialog::OnInitDialog(DialogView& view) {
  view.SetUpListView(kIdEntries, kColumnTitle, kColumnWidthPixels, /*check_boxes=*/true,
                     /*full_row_select=*/true);
  view.AddComboEntry(kIdTypeBox, kDomainName);
  view.AddComboEntry(kIdTypeBox, kEmailAddress);
  view.SetControlText(kIdItemText, "");
  view.SetControlText(kIdOkButton, kAddToList);
}

void ListDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  // The store parses and prints whole XML files: running out of memory there
  // drops this one action, and nothing may unwind into the view's window
  // procedure.
  try {
    Dispatch(view, control_id, event);
  } catch (const std::exception&) {
  }
}

void ListDialog::Dispatch(DialogView& view, int control_id, ControlEvent event) {
  switch (control_id) {
    case kIdTypeBox:
      if (event == ControlEvent::kSelectionChanged && ChosenType(view) >= 0) {
        LeaveUpdateMode(view, kAddToList);
        ShowEntriesOfChosenType(view);
      }
      break;
    case kIdEntries:
      if (event == ControlEvent::kDoubleClicked)
        BeginEditingMarkedRow(view);
      break;
    case kIdOkButton:
      if (event == ControlEvent::kClicked)
        AddOrUpdate(view);
      break;
    case kIdRemove:
      if (event == ControlEvent::kClicked)
        RemoveChosenRows(view);
      break;
    case kIdCancelButton:
      // Every change was written when it was made: nothing to save.
      if (event == ControlEvent::kClicked)
        view.EndDialog(kIdCancelButton);
      break;
    default:
      break;
  }
}

int ListDialog::ChosenType(DialogView& view) {
  int selection = view.ComboSelection(kIdTypeBox);
  return selection == kTypeDomain || selection == kTypeAddress ? selection : -1;
}

void ListDialog::LeaveUpdateMode(DialogView& view, std::string_view button_text) {
  editIndex_ = -1;
  updateMode_ = false;
  view.SetControlText(kIdOkButton, button_text);
  view.SetControlText(kIdItemText, "");
}

void ListDialog::ShowEntriesOfChosenType(DialogView& view) {
  view.DeleteAllRows(kIdEntries);
  const auto& entries = ChosenType(view) == kTypeAddress ? list_.addresses() : list_.domains();
  for (const std::string& entry : entries)
    view.AppendRow(kIdEntries, entry);
}

void ListDialog::BeginEditingMarkedRow(DialogView& view) {
  int row = view.SelectionMark(kIdEntries);
  if (row < 0 || row >= view.RowCount(kIdEntries))
    return;
  view.SetControlText(kIdItemText, view.RowText(kIdEntries, row, kMaxTextChars));
  view.SetControlText(kIdOkButton, kUpdate);
  updateMode_ = true;
  editIndex_ = row;
}

void ListDialog::AddOrUpdate(DialogView& view) {
  int type = ChosenType(view);
  if (type < 0) {
    Say(view, kSelectType);
    view.SetFocus(kIdTypeBox);
    return;
  }
  // Taken exactly as typed: no trimming, no check of its form.
  std::string text = view.ControlText(kIdItemText, kMaxTextChars);
  if (text.empty()) {
    Say(view, kEnterName);
    view.SetFocus(kIdItemText);
    return;
  }
  if (updateMode_)
    UpdateEntry(view, type, text);
  else
    AddEntry(view, type, text);
}

void ListDialog::AddEntry(DialogView& view, int type, const std::string& text) {
  const ListEdit result = varnox::AddEntry(list_, KindOf(type), text);
  if (result == ListEdit::kExists) {
    Say(view, EntryExistsText(list_.kind(), KindOf(type)));
    view.SetFocus(kIdItemText);
    return;
  }
  // The entry is in memory whether or not the file took it: its row shows.
  view.AppendRow(kIdEntries, text);
  view.SetControlText(kIdItemText, "");
  if (NoteStoreResult(view, result == ListEdit::kDone))
    Say(view, EntryAddedText(list_.kind()));
}

void ListDialog::UpdateEntry(DialogView& view, int type, const std::string& text) {
  const std::string old_text = view.RowText(kIdEntries, editIndex_, kMaxTextChars);
  // The unchanged text is refused too: it is in the file already.
  const ListEdit result = varnox::UpdateEntry(list_, KindOf(type), old_text, text);
  if (result == ListEdit::kExists) {
    Say(view, EntryExistsText(list_.kind(), KindOf(type)));
    view.SetFocus(kIdItemText);
    return;  // still editing
  }
  view.SetRowText(kIdEntries, editIndex_, text);
  LeaveUpdateMode(view, kAddToListAfterUpdate);
  if (NoteStoreResult(view, result == ListEdit::kDone))
    Say(view, EntryUpdatedText(list_.kind()));
}

std::vector<int> ListDialog::RowsToRemove(DialogView& view) {
  std::vector<int> rows;
  int count = view.RowCount(kIdEntries);
  for (int row = 0; row < count; ++row) {
    if (view.IsRowChecked(kIdEntries, row))
      rows.push_back(row);
  }
  if (rows.empty()) {
    int marked = view.SelectionMark(kIdEntries);
    if (marked >= 0 && marked < count)
      rows.push_back(marked);
  }
  return rows;
}

void ListDialog::RemoveChosenRows(DialogView& view) {
  int type = ChosenType(view);
  if (type < 0) {
    Say(view, kSelectType);
    view.SetFocus(kIdTypeBox);
    return;
  }
  std::vector<int> rows = RowsToRemove(view);
  if (rows.empty()) {
    Say(view, kSelectToRemove);
    view.SetFocus(kIdEntries);
    return;
  }
  if (view.ShowMessage(RemoveEntriesQuestion(list_.kind(), rows.size()), "", kMbYesNo) != kIdYes)
    return;
  // The rows are shown anew below and the row being edited may be gone:
  // editing ends here.
  LeaveUpdateMode(view, kAddToList);
  std::vector<std::string> texts_to_remove;
  for (int row : rows)
    texts_to_remove.push_back(view.RowText(kIdEntries, row, kMaxTextChars));
  const ListEdit result = RemoveEntries(list_, KindOf(type), texts_to_remove);
  // The store removes every entry equal to a text in any letter case, from
  // memory whatever the file gives: the rows are shown anew from memory.
  ShowEntriesOfChosenType(view);
  if (NoteStoreResult(view, result == ListEdit::kDone))
    Say(view, EntriesRemovedText(list_.kind(), rows.size()));
}

bool ListDialog::NoteStoreResult(DialogView& view, bool stored) {
  if (stored) {
    changed_ = true;
  } else {
    memory_only_ = true;
    Say(view, kListNotWritten);
  }
  return stored;
}

void ListDialog::Say(DialogView& view, std::string_view text) {
  view.ShowMessage(text, "", kMbOk);
}

}  // namespace varnox

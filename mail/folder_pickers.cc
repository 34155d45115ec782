#include "mail/folder_pickers.h"

#include <algorithm>

#include "platform/user_interface.h"

namespace varnox {
namespace {

bool IsClickOn(int button, int control_id, ControlEvent event) {
  return control_id == button && event == ControlEvent::kClicked;
}

}  // namespace

// --- Select Outlook Folder.

void SelectFolderDialog::OnInitDialog(DialogView& view) {
  for (const std::string& name : folderNames)
    view.AddComboEntry(kIdFolderList, name);
  view.SetChecked(kIdDontDisplayAgain, false);
}

void SelectFolderDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  if (IsClickOn(kIdOkButton, control_id, event))
    Accept(view);
  else if (IsClickOn(kIdCancelButton, control_id, event))
    view.EndDialog(kIdCancelButton);
}

void SelectFolderDialog::Accept(DialogView& view) {
  const int selection = view.ComboSelection(kIdFolderList);
  if (selection < 0) {
    view.ShowMessage(kNoFolderSelected, "", kMbOk);
    view.SetFocus(kIdFolderList);
    return;
  }
  chosenName = view.ComboEntryText(kIdFolderList, selection);
  settings_.SetNotSpamFolderName(view.IsChecked(kIdDontDisplayAgain) ? chosenName : "");
  view.EndDialog(kIdOkButton);
}

// --- Select Folders.

void SelectFoldersDialog::OnInitDialog(DialogView& view) {
  view.SetUpListView(kIdFolderList, kColumnTitle, kColumnWidthPixels, /*check_boxes=*/true,
                     /*full_row_select=*/true);
  for (const std::string& name : allFolders)
    view.AppendRow(kIdFolderList, name);
}

void SelectFoldersDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  if (IsClickOn(kIdOkButton, control_id, event))
    Accept(view);
  else if (IsClickOn(kIdCancelButton, control_id, event))
    view.EndDialog(kIdCancelButton);
}

void SelectFoldersDialog::Accept(DialogView& view) {
  // Rows hold the offered names; reading no more than the longest of them
  // gives each back whole without asking the view for an unbounded text.
  std::size_t longest = 0;
  for (const std::string& name : allFolders)
    longest = std::max(longest, name.size());
  selected.clear();
  const int rows = view.RowCount(kIdFolderList);
  for (int row = 0; row < rows; ++row) {
    if (view.IsRowChecked(kIdFolderList, row))
      selected.push_back(view.RowText(kIdFolderList, row, longest));
  }
  view.EndDialog(kIdOkButton);
}

}  // namespace varnox

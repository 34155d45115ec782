#include "mail/folder_pickers.h"

#include <algorithm>
#include <functional>

#include "mail/mail_context.h"
#include "platform/code_page.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

// Calls `visit` for each folder of `folders` in the host's order until it
// returns false. Each folder is the visitor's to keep (move it away) or to
// let go. A failing step ends the walk, as the end of the collection does.
void ForEachFolder(host::Folders& folders,
                   const std::function<bool(std::unique_ptr<host::Folder>&)>& visit) {
  std::unique_ptr<host::Folder> folder;
  for (HResult step = folders.GetFirst(&folder); Succeeded(step) && folder != nullptr;
       step = folders.GetNext(&folder)) {
    if (!visit(folder))
      return;
  }
}

bool IsClickOn(int button, int control_id, ControlEvent event) {
  return control_id == button && event == ControlEvent::kClicked;
}

}  // namespace

void ListMailFolderNames(MailContext& addin, std::vector<std::string>& names) {
  if (addin.topFolders == nullptr)
    return;
  ForEachFolder(*addin.topFolders, [&names](std::unique_ptr<host::Folder>& folder) {
    std::int32_t type = -1;
    std::string name;
    if (Succeeded(folder->DefaultItemType(&type)) && type == host::kOlMailItem &&
        Succeeded(folder->Name(&name))) {
      names.push_back(std::move(name));
    }
    return true;
  });
}

std::unique_ptr<host::Folder> FindTopFolder(MailContext& addin, std::string_view name) {
  std::unique_ptr<host::Folder> found;
  if (addin.topFolders == nullptr)
    return found;
  ForEachFolder(*addin.topFolders, [&](std::unique_ptr<host::Folder>& folder) {
    std::string folder_name;
    if (Succeeded(folder->Name(&folder_name)) && code_page::EqualsIgnoreCase(folder_name, name)) {
      found = std::move(folder);
      return false;
    }
    return true;
  });
  return found;
}

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

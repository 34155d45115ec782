#include "mail/train_dialog.h"

#include <utility>

#include "engine/bayesian_filter.h"
#include "mail/folder_pickers.h"

namespace varnox {
namespace {

// Each name followed by ";": A and B read "A;B;".
std::string JoinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text.append(name).push_back(';');
  return text;
}

}  // namespace

void TrainDialog::OnInitDialog(DialogView& view) {
  view.SetControlText(kIdSpamFolders, "");
  view.SetControlText(kIdGoodFolders, "");
  view.SetChecked(kIdEmptyFirst, false);
}

void TrainDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  if (event != ControlEvent::kClicked)
    return;
  switch (control_id) {
    case kIdChooseSpamFolders:
      Choose(view, spamFolders, kIdSpamFolders);
      break;
    case kIdChooseGoodFolders:
      Choose(view, goodFolders, kIdGoodFolders);
      break;
    case kIdOkButton:  // "Start Training"
      if (view.IsChecked(kIdEmptyFirst))
        filter.Empty();
      view.EndDialog(kIdOkButton);
      break;
    case kIdCancelButton:
      view.EndDialog(kIdCancelButton);
      break;
    default:
      break;
  }
}

void TrainDialog::Choose(DialogView& view, std::vector<std::string>& chosen, int edit_id) {
  SelectFoldersDialog picker;
  picker.allFolders = allFolders;
  if (dialogs_.RunModal(picker) != kIdOkButton)
    return;
  chosen = std::move(picker.selected);
  view.SetControlText(edit_id, JoinedNames(chosen));
}

}  // namespace varnox

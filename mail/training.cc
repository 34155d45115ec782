#include "mail/training.h"

#include <exception>
#include <memory>

#include "host/item.h"
#include "mail/folder_pickers.h"
#include "mail/mail_context.h"
#include "mail/mark_commands.h"
#include "mail/message_learning.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

constexpr int kSpam = 1;
constexpr int kGoodMail = 0;

// Each name followed by ";": A and B read "A;B;".
std::string JoinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text.append(name).push_back(';');
  return text;
}

bool TeachItem(MailContext& addin, host::Item& item, int spam) {
  std::unique_ptr<host::MailItem> mail;
  std::unique_ptr<host::Message> message;
  if (Failed(item.QueryMailItem(&mail)) || mail == nullptr || Failed(mail->MapiMessage(&message)) ||
      message == nullptr) {
    return false;
  }
  return LearnOrRelearn(addin, *message, spam) == 1;
}

// Teaches the folders named, in order; `taught` counts as it goes, so that
// what was taught before a failure is still saved.
void TrainFromFolders(MailContext& addin, const std::vector<std::string>& names, int spam,
                      int& taught) {
  for (const std::string& name : names) {
    std::unique_ptr<host::Folder> folder = FindTopFolder(addin, name);
    if (folder != nullptr)
      taught += TrainFromFolder(addin, *folder, spam);
  }
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

int TrainFromFolder(MailContext& addin, host::Folder& folder, int spam) {
  std::unique_ptr<host::Items> items;
  if (Failed(folder.GetItems(&items)) || items == nullptr)
    return 0;
  int taught = 0;
  std::unique_ptr<host::Item> item;
  for (HResult step = items->GetFirst(&item); Succeeded(step) && item != nullptr;
       step = items->GetNext(&item)) {
    if (TeachItem(addin, *item, spam))
      ++taught;
  }
  return taught;
}

void OnTrainFilter(MailContext& addin) {
  int taught = 0;
  bool completed = false;
  try {
    TrainDialog dialog(addin.filter, addin.platform.dialogs);
    ListMailFolderNames(addin, dialog.allFolders);
    if (addin.platform.dialogs.RunModal(dialog) != kIdOkButton)
      return;
    TrainFromFolders(addin, dialog.goodFolders, kGoodMail, taught);
    TrainFromFolders(addin, dialog.spamFolders, kSpam, taught);
    completed = true;
  } catch (const std::exception&) {
    // Out of memory: the run stops; what it taught is still saved.
  }
  // A training run can take long; a crash of the host must not lose it.
  if (taught > 0)
    addin.filter.Save();
  if (completed)
    addin.platform.ui.ShowMessage(kLearningComplete, "", kMbOk);
}

}  // namespace varnox

#include "addin/mail_commands.h"

#include <exception>
#include <memory>

#include "addin/explorer.h"
#include "addin/vnx_addin.h"
#include "mail/mark_commands.h"
#include "mail/spam_move.h"
#include "mail/top_folders.h"
#include "mail/train_dialog.h"
#include "mail/training.h"

namespace varnox {
namespace {

// The explorer's selection as the operations read it, when it holds items:
// its count, read once here (a count above 0 and the class of a selection),
// is the one the operation sees.
class ChosenItems final : public host::ItemList {
 public:
  static std::unique_ptr<ChosenItems> Of(outlook::Explorer& explorer) {
    std::unique_ptr<outlook::Selection> selection;
    std::int32_t count = 0;
    std::int32_t object_class = 0;
    if (Failed(explorer.GetSelection(&selection)) || selection == nullptr ||
        Failed(selection->Count(&count)) || count <= 0 || Failed(selection->Class(&object_class)) ||
        object_class != outlook::kOlSelection) {
      return nullptr;
    }
    return std::unique_ptr<ChosenItems>(new ChosenItems(std::move(selection), count));
  }

  HResult Count(std::int32_t* count) override {
    *count = count_;
    return kSOk;
  }
  HResult GetItem(std::int32_t index, std::unique_ptr<host::Item>* item) override {
    return selection_->GetItem(index, item);
  }

 private:
  ChosenItems(std::unique_ptr<outlook::Selection> selection, std::int32_t count)
      : selection_(std::move(selection)), count_(count) {}
  std::unique_ptr<outlook::Selection> selection_;
  std::int32_t count_;
};

// Whether the explorer shows the spam folder, told by its name.
bool ShowsSpamFolder(outlook::Explorer& explorer) {
  std::unique_ptr<host::Folder> folder;
  std::string name;
  return Succeeded(explorer.CurrentFolder(&folder)) && folder != nullptr &&
         Succeeded(folder->Name(&name)) && IsSpamFolderName(name);
}

}  // namespace

void OnMarkSpam(CVNXAddin& addin) {
  try {
    std::unique_ptr<outlook::Explorer> explorer = addin.ActiveExplorer();
    if (explorer == nullptr)
      return;
    if (std::unique_ptr<ChosenItems> chosen = ChosenItems::Of(*explorer))
      MarkSpam(addin, *chosen);
  } catch (const std::exception&) {
    // Out of memory: nothing more is done.
  }
}

void OnNotSpam(CVNXAddin& addin) {
  try {
    std::unique_ptr<outlook::Explorer> explorer = addin.ActiveExplorer();
    if (explorer == nullptr)
      return;
    const bool in_spam_folder = ShowsSpamFolder(*explorer);
    if (std::unique_ptr<ChosenItems> chosen = ChosenItems::Of(*explorer))
      NotSpam(addin, *chosen, in_spam_folder, [&addin] { return AskNotSpamFolder(addin); });
  } catch (const std::exception&) {
    // Out of memory: nothing more is done.
  }
}

void OnTrainFilter(CVNXAddin& addin) {
  try {
    TrainDialog dialog(addin.filter, addin.platform.dialogs);
    ListMailFolderNames(addin, dialog.allFolders);
    if (addin.platform.dialogs.RunModal(dialog) == kIdOkButton)
      Train(addin, dialog.goodFolders, dialog.spamFolders);
  } catch (const std::exception&) {
    // Out of memory in the dialog: nothing was trained.
  }
}

}  // namespace varnox

#include "mail/training.h"

#include <exception>
#include <memory>

#include "host/item.h"
#include "mail/mail_context.h"
#include "mail/mark_commands.h"
#include "mail/message_learning.h"
#include "mail/top_folders.h"
#include "platform/user_interface.h"

namespace varnox {
namespace {

constexpr int kSpam = 1;
constexpr int kGoodMail = 0;

// Teaches one item and counts it in `outcome`.
void TeachItem(MailContext& addin, host::Item& item, int spam, TrainingOutcome& outcome) {
  std::unique_ptr<host::MailItem> mail;
  if (Failed(item.QueryMailItem(&mail)) || mail == nullptr) {
    ++outcome.notMail;
    return;
  }
  std::unique_ptr<host::Message> message;
  const bool taught = Succeeded(mail->MapiMessage(&message)) && message != nullptr &&
                      LearnOrRelearn(addin, *message, spam) == 1;
  ++(taught ? outcome.taught : outcome.notTaught);
}

void TeachFolder(MailContext& addin, host::Folder& folder, int spam, TrainingOutcome& outcome,
                 TrainingProgress* progress) {
  if (progress != nullptr)
    progress->FolderStarted(folder);
  std::unique_ptr<host::Items> items;
  if (Succeeded(folder.GetItems(&items)) && items != nullptr) {
    std::unique_ptr<host::Item> item;
    for (HResult step = items->GetFirst(&item); Succeeded(step) && item != nullptr;
         step = items->GetNext(&item)) {
      TeachItem(addin, *item, spam, outcome);
      if (progress != nullptr)
        progress->ItemDone();
    }
  }
  if (progress != nullptr)
    progress->FolderFinished();
}

// Teaches the folders named, in order; `outcome` counts as it goes, so that
// what was taught before a failure is still saved.
void TrainFromFolders(MailContext& addin, const std::vector<std::string>& names, int spam,
                      TrainingOutcome& outcome, TrainingProgress* progress) {
  for (const std::string& name : names) {
    std::unique_ptr<host::Folder> folder = FindTopFolder(addin, name);
    if (folder == nullptr)
      outcome.missingFolders.push_back(name);
    else
      TeachFolder(addin, *folder, spam, outcome, progress);
  }
}

}  // namespace

int TrainFromFolder(MailContext& addin, host::Folder& folder, int spam) {
  TrainingOutcome outcome;
  TeachFolder(addin, folder, spam, outcome, nullptr);
  return outcome.taught;
}

TrainingOutcome Train(MailContext& addin, const std::vector<std::string>& goodFolders,
                      const std::vector<std::string>& spamFolders, TrainingProgress* progress) {
  TrainingOutcome outcome;
  try {
    TrainFromFolders(addin, goodFolders, kGoodMail, outcome, progress);
    TrainFromFolders(addin, spamFolders, kSpam, outcome, progress);
    outcome.completed = true;
  } catch (const std::exception&) {
    // Out of memory: the run stops; what it taught is still saved.
  }
  // A training run can take long; a crash of the host must not lose it.
  if (outcome.taught > 0)
    addin.filter.Save();
  if (outcome.completed)
    addin.platform.ui.ShowMessage(kLearningComplete, "", kMbOk);
  return outcome;
}

}  // namespace varnox

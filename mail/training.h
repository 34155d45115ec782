// Train Filter: teaching the filter from whole top-level folders chosen as
// holding spam or good mail. The way to give a new installation its first
// word counts. The toolbar gives the folders chosen in "Train Bayesian
// Filter" (train_dialog.h); `varnox train` the folders named.
#ifndef VARNOX_MAIL_TRAINING_H_
#define VARNOX_MAIL_TRAINING_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/folder.h"

namespace varnox {

struct MailContext;

// Told how a training run goes, for a progress display: each folder's walk
// begins, each item has been looked at, the walk is over.
class TrainingProgress {
 public:
  virtual ~TrainingProgress() = default;
  virtual void FolderStarted(host::Folder& folder) = 0;
  virtual void ItemDone() = 0;
  virtual void FolderFinished() = 0;
};

// What a training run did.
struct TrainingOutcome {
  int taught = 0;     // messages the filter was taught
  int notTaught = 0;  // mail it was not taught (no transport headers, texts
                      // that cannot be read)
  int notMail = 0;    // items that are not mail
  // Names that named no top-level folder when their turn came: skipped.
  std::vector<std::string> missingFolders;
  // False when the run stopped short (out of memory); what it taught is
  // saved all the same, and "Learning Complete" is not shown.
  bool completed = false;
};

// Teaches the good-mail folders as clean, then the spam folders as spam,
// each by name in the order given (the same folder named twice is learned
// twice), only the messages directly in each folder; saves the word
// database when anything was taught, and shows "Learning Complete" with an
// empty caption (also when both lists are empty). `progress` may be null.
// Never throws.
TrainingOutcome Train(MailContext& addin, const std::vector<std::string>& goodFolders,
                      const std::vector<std::string>& spamFolders,
                      TrainingProgress* progress = nullptr);

// Teaches every mail item directly in `folder` (not its sub-folders), as spam
// when `spam` is non-zero, relearning those that carry a learning mark.
// Items that are not mail and messages that cannot be taught are passed
// over. Gives the number of messages taught.
int TrainFromFolder(MailContext& addin, host::Folder& folder, int spam);

}  // namespace varnox

#endif  // VARNOX_MAIL_TRAINING_H_

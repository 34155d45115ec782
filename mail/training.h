// Train Filter: teaching the filter from whole top-level folders, chosen as
// holding spam or good mail, optionally after emptying its word table. The
// way to give a new installation its first word counts.
#ifndef VARNOX_MAIL_TRAINING_H_
#define VARNOX_MAIL_TRAINING_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/folder.h"
#include "platform/dialog.h"

namespace varnox {

class BayesianFilter;
struct MailContext;

// "Train Bayesian Filter": two lists of folder names, each chosen with
// "..." in a "Select Folders" dialog (a new choice replaces the earlier one;
// Cancel keeps it) and shown in its edit box as "A;B;". The edit boxes only
// show the choice: what is typed there is never read. "Start Training"
// empties the filter at once when its box is ticked, then closes with 1;
// closing the window gives 2.
class TrainDialog final : public DialogController {
 public:
  static constexpr int kIdSpamFolders = 1000;
  static constexpr int kIdChooseSpamFolders = 1001;
  static constexpr int kIdGoodFolders = 1002;
  static constexpr int kIdChooseGoodFolders = 1003;
  static constexpr int kIdEmptyFirst = 1004;

  // `filter` and `dialogs` (which shows the "Select Folders" dialogs) must
  // outlive the dialog.
  TrainDialog(BayesianFilter& filter, DialogRunner& dialogs) : filter(filter), dialogs_(dialogs) {}

  int TemplateId() const override { return dialog_id::kTrain; }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;

  BayesianFilter& filter;
  // Offered in both "Select Folders" dialogs (filled by the caller).
  std::vector<std::string> allFolders;
  std::vector<std::string> spamFolders;
  std::vector<std::string> goodFolders;

 private:
  // Runs "Select Folders"; on OK replaces `chosen` and shows it in `edit_id`.
  void Choose(DialogView& view, std::vector<std::string>& chosen, int edit_id);

  DialogRunner& dialogs_;
};

// Runs the dialog; on "Start Training" teaches the good-mail folders as
// clean, then the spam folders as spam, each by name in the order chosen (a
// name that no longer names a top-level folder is skipped), saves the word
// database when anything was taught, and shows "Learning Complete" with an
// empty caption. Never throws.
void OnTrainFilter(MailContext& addin);

// Teaches every mail item directly in `folder` (not its sub-folders), as spam
// when `spam` is non-zero, relearning those that carry a learning mark.
// Items that are not mail and messages that cannot be taught are passed
// over. Gives the number of messages taught.
int TrainFromFolder(MailContext& addin, host::Folder& folder, int spam);

}  // namespace varnox

#endif  // VARNOX_MAIL_TRAINING_H_

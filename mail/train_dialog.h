// "Train Bayesian Filter", the dialog of the Train Filter button: two lists
// of folder names, each chosen with "..." in a "Select Folders" dialog (a
// new choice replaces the earlier one; Cancel keeps it) and shown in its
// edit box as "A;B;". The edit boxes only show the choice: what is typed
// there is never read. "Start Training" empties the filter at once when its
// box is ticked, then closes with 1; closing the window gives 2. The caller
// then trains from the folders chosen (training.h).
#ifndef VARNOX_MAIL_TRAIN_DIALOG_H_
#define VARNOX_MAIL_TRAIN_DIALOG_H_

#include <string>
#include <vector>

#include "platform/dialog.h"

namespace varnox {

class BayesianFilter;

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

}  // namespace varnox

#endif  // VARNOX_MAIL_TRAIN_DIALOG_H_

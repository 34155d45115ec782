#include "settings/settings_dialog.h"

#include <string>

#include "platform/user_interface.h"

namespace varnox {
namespace {

constexpr std::string_view kEmptyQuestion = "Are you sure you want to empty the Database?";
constexpr std::string_view kEmptyDone = "Database Empty";
constexpr std::string_view kQuestionCaption = "Varnox";

std::uint32_t AsDword(bool ticked) {
  return ticked ? 1 : 0;
}

}  // namespace

void SettingsDialog::OnInitDialog(DialogView& view) {
  view.SetChecked(kIdMarkRead, settings_.MarkReadBeforeMoving() != 0);
  view.SetChecked(kIdNonEnglish, settings_.ConsiderNonEnglishSpam() != 0);
  view.SetChecked(kIdBeep, settings_.BeepAtSpam() != 0);
  // An empty or absent folder name means Not Spam asks for the folder.
  std::string folder;
  settings_.NotSpamFolderName(&folder);
  view.SetChecked(kIdAskFolder, folder.empty());
  view.SetChecked(kIdLearnSpam, settings_.LearnFromMarkSpam() != 0);
  view.SetChecked(kIdLearnNotSpam, settings_.LearnFromNotSpam() != 0);
  view.SetChecked(kIdLearnBlack, settings_.LearnFromBlackListed() != 0);
  view.SetChecked(kIdLearnWhite, settings_.LearnFromWhiteListed() != 0);
  second_judge_shown_ = settings_.SecondJudge() != 0;
  view.SetChecked(kIdSecondJudge, second_judge_shown_);
  ShowWordCount(view);
}

void SettingsDialog::OnCommand(DialogView& view, int control_id, ControlEvent event) {
  if (event != ControlEvent::kClicked)
    return;
  switch (control_id) {
    case kIdOkButton:
      SaveAndClose(view);
      break;
    case kIdCancelButton:
      view.EndDialog(kIdCancelButton);
      break;
    case kIdEmpty:
      AskAndEmpty(view);
      break;
    default:
      break;  // check boxes keep their own state until OK
  }
}

void SettingsDialog::ShowWordCount(DialogView& view) {
  std::string line(kWordCountLabel);
  line += std::to_string(filter_.WordCount());
  view.SetControlText(kIdWordCount, line);
}

void SettingsDialog::SaveAndClose(DialogView& view) {
  // The eight values on every OK, changed or not, in this fixed order.
  settings_.SetBeepAtSpam(AsDword(view.IsChecked(kIdBeep)));
  settings_.SetConsiderNonEnglishSpam(AsDword(view.IsChecked(kIdNonEnglish)));
  settings_.SetLearnFromMarkSpam(AsDword(view.IsChecked(kIdLearnSpam)));
  settings_.SetLearnFromNotSpam(AsDword(view.IsChecked(kIdLearnNotSpam)));
  settings_.SetMarkReadBeforeMoving(AsDword(view.IsChecked(kIdMarkRead)));
  settings_.SetLearnFromBlackListed(AsDword(view.IsChecked(kIdLearnBlack)));
  settings_.SetLearnFromWhiteListed(AsDword(view.IsChecked(kIdLearnWhite)));
  settings_.SetNotSpamFolderName(view.IsChecked(kIdAskFolder) ? std::string_view()
                                                              : kDefaultNotSpamFolder);
  if (const bool second_judge = view.IsChecked(kIdSecondJudge); second_judge != second_judge_shown_)
    settings_.SetSecondJudge(AsDword(second_judge));
  view.EndDialog(kIdOkButton);
}

void SettingsDialog::AskAndEmpty(DialogView& view) {
  if (view.ShowMessage(kEmptyQuestion, kQuestionCaption, kMbYesNo) != kIdYes)
    return;
  // Empty saves the word database at once; a save that fails is reported by
  // the engine itself, and the table is empty in memory either way.
  filter_.Empty();
  ShowWordCount(view);
  view.ShowMessage(kEmptyDone, "", kMbOk);
}

}  // namespace varnox

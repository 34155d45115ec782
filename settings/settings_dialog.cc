#include "settings/settings_dialog.h"

#include <string>

#include "platform/user_interface.h"

namespace varnox {
namespace {

// Each box and the choice it shows.
struct Box {
  int id;
  bool SettingsChoices::*choice;
};
constexpr Box kBoxes[] = {
    {SettingsDialog::kIdMarkRead, &SettingsChoices::markReadBeforeMoving},
    {SettingsDialog::kIdNonEnglish, &SettingsChoices::considerNonEnglishSpam},
    {SettingsDialog::kIdBeep, &SettingsChoices::beepAtSpam},
    {SettingsDialog::kIdAskFolder, &SettingsChoices::askNotSpamFolder},
    {SettingsDialog::kIdLearnSpam, &SettingsChoices::learnFromMarkSpam},
    {SettingsDialog::kIdLearnNotSpam, &SettingsChoices::learnFromNotSpam},
    {SettingsDialog::kIdLearnBlack, &SettingsChoices::learnFromBlackListed},
    {SettingsDialog::kIdLearnWhite, &SettingsChoices::learnFromWhiteListed},
    {SettingsDialog::kIdSecondJudge, &SettingsChoices::secondJudge},
};

}  // namespace

void SettingsDialog::OnInitDialog(DialogView& view) {
  const SettingsChoices shown = ReadSettingsChoices(settings_);
  for (const Box& box : kBoxes)
    view.SetChecked(box.id, shown.*box.choice);
  second_judge_shown_ = shown.secondJudge;
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
  SettingsChoices chosen;
  for (const Box& box : kBoxes)
    chosen.*box.choice = view.IsChecked(box.id);
  WriteSettingsChoices(settings_, chosen, second_judge_shown_);
  view.EndDialog(kIdOkButton);
}

void SettingsDialog::AskAndEmpty(DialogView& view) {
  if (view.ShowMessage(kEmptyQuestion, kEmptyQuestionCaption, kMbYesNo) != kIdYes)
    return;
  // Empty saves the word database at once; a save that fails is reported by
  // the engine itself, and the table is empty in memory either way.
  filter_.Empty();
  ShowWordCount(view);
  view.ShowMessage(kEmptyDone, "", kMbOk);
}

}  // namespace varnox

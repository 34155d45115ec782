// The Settings dialog: the user's settings as check boxes, saved when the
// user presses OK, the number of words the filter knows, and the button that
// empties the word table.
//
// Registry failures stay silent: with the settings key absent the dialog
// opens with every setting off (and "Display Select Destination Folder"
// ticked, as an empty folder name means "ask") and OK writes nothing.
#ifndef VARNOX_SETTINGS_SETTINGS_DIALOG_H_
#define VARNOX_SETTINGS_SETTINGS_DIALOG_H_

#include <string_view>

#include "platform/dialog.h"
#include "settings/settings_choices.h"
#include "settings/settings_store.h"
#include "settings/word_table_controls.h"

namespace varnox {

class SettingsDialog final : public DialogController {
 public:
  // Control ids of the template.
  static constexpr int kIdMarkRead = 1009;
  static constexpr int kIdNonEnglish = 1010;
  static constexpr int kIdBeep = 1011;
  static constexpr int kIdAskFolder = 1000;
  static constexpr int kIdLearnSpam = 1012;
  static constexpr int kIdLearnNotSpam = 1013;
  static constexpr int kIdLearnBlack = 1019;
  static constexpr int kIdLearnWhite = 1020;
  static constexpr int kIdEmpty = 1021;
  static constexpr int kIdSecondJudge = 1022;
  static constexpr int kIdWordCount = 204;

  static constexpr std::string_view kWordCountLabel = "Total Words in Bayesian Database : ";
  // The question of the Empty button (caption "Varnox", Yes and No), and
  // what is said once the word table was emptied (no caption).
  static constexpr std::string_view kEmptyQuestion = "Are you sure you want to empty the Database?";
  static constexpr std::string_view kEmptyQuestionCaption = "Varnox";
  static constexpr std::string_view kEmptyDone = "Database Empty";

  // `filter` and `settings` must outlive the dialog.
  SettingsDialog(WordTableControls& filter, SettingsStore& settings)
      : filter_(filter), settings_(settings) {}

  int TemplateId() const override { return dialog_id::kSettings; }
  // Reads the nine settings once (ReadSettingsChoices); later changes by
  // others to the first eight are overwritten by OK.
  void OnInitDialog(DialogView& view) override;
  // OK writes what the boxes show (WriteSettingsChoices: the eight values of
  // the General and learning boxes, changed or not, then SecondJudge only
  // when its box was changed) and ends with kIdOkButton; Cancel writes
  // nothing. Emptying takes effect at once and is not undone by Cancel.
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;

 private:
  void ShowWordCount(DialogView& view);
  void SaveAndClose(DialogView& view);
  void AskAndEmpty(DialogView& view);

  WordTableControls& filter_;
  SettingsStore& settings_;
  // The second judge's box as it opened.
  bool second_judge_shown_ = false;
};

}  // namespace varnox

#endif  // VARNOX_SETTINGS_SETTINGS_DIALOG_H_

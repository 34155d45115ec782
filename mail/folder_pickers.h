// The two dialogs in which the user picks top-level folders by name: one
// folder for Not Spam, any number for training. They offer the names that
// ListMailFolderNames (top_folders.h) gives.
#ifndef VARNOX_MAIL_FOLDER_PICKERS_H_
#define VARNOX_MAIL_FOLDER_PICKERS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"
#include "settings/settings_store.h"

namespace varnox {

// "Select Outlook Folder": one folder from a drop-down list. On OK the
// chosen name is kept and stored as NotSpamFolderName when "Don't Display
// this again" is ticked, or an empty NotSpamFolderName stored when not, so
// that the next Not Spam asks again. Result 1 (OK) or 2 (Cancel, nothing
// stored).
class SelectFolderDialog final : public DialogController {
 public:
  static constexpr int kIdFolderList = 201;
  static constexpr int kIdDontDisplayAgain = 202;
  static constexpr std::string_view kNoFolderSelected = "Please Select a folder";

  // `settings` must outlive the dialog.
  explicit SelectFolderDialog(SettingsStore& settings) : settings_(settings) {}

  int TemplateId() const override { return dialog_id::kSelectFolder; }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;

  // Offered, in order (filled by the caller).
  std::vector<std::string> folderNames;
  // The entry chosen on OK.
  std::string chosenName;

 private:
  void Accept(DialogView& view);

  SettingsStore& settings_;
};

// "Select Folders": any number of folders ticked in a list. Result 1 (OK,
// `selected` holds the ticked names in list order, possibly none) or 2.
class SelectFoldersDialog final : public DialogController {
 public:
  static constexpr int kIdFolderList = 1007;
  static constexpr std::string_view kColumnTitle = "Folder Name";
  static constexpr int kColumnWidthPixels = 200;

  int TemplateId() const override { return dialog_id::kSelectFolders; }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;

  // Offered, in order (filled by the caller).
  std::vector<std::string> allFolders;
  // The ticked names, filled on OK.
  std::vector<std::string> selected;

 private:
  void Accept(DialogView& view);
};

}  // namespace varnox

#endif  // VARNOX_MAIL_FOLDER_PICKERS_H_

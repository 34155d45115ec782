// Choosing top-level folders by name: the look-ups over the add-in's
// topFolders (the top level of the store scanned last at start-up), and the
// two dialogs that Not Spam and training show. Folders are offered and found
// by name only, one level deep; names compare ignoring case in code page
// 1252.
#ifndef VARNOX_MAIL_FOLDER_PICKERS_H_
#define VARNOX_MAIL_FOLDER_PICKERS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/folder.h"
#include "platform/dialog.h"
#include "settings/settings_store.h"

namespace varnox {

struct MailContext;

// Appends to `names` the name of every mail folder (default item type 0) of
// topFolders, in the host's order. Other folder types are left out, and so
// is a folder whose name or type cannot be read. Nothing without topFolders.
void ListMailFolderNames(MailContext& addin, std::vector<std::string>& names);

// The first folder of topFolders, in the host's order, whose name equals
// `name` ignoring case, whatever its type; null when there is none. The
// caller owns the reference.
std::unique_ptr<host::Folder> FindTopFolder(MailContext& addin, std::string_view name);

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

// The dialog view over a real Win32 dialog: control texts, check boxes,
// drop-down lists, report-view list views, message boxes owned by the
// dialog, focus and ending, by control id. Texts cross as code page 1252 and
// are shown through the wide calls, whatever the machine's ANSI code page.
#ifndef VARNOX_WIN_DIALOGS_WIN_DIALOG_VIEW_H_
#define VARNOX_WIN_DIALOGS_WIN_DIALOG_VIEW_H_

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/dialog.h"

namespace varnox::win {

// Valid while its dialog window exists; calls on the dialog's thread. A
// control id that the dialog does not have reads as empty, unchecked, no
// selection and no rows, and writes to it are dropped.
class WinDialogView final : public DialogView {
 public:
  explicit WinDialogView(HWND dialog) : dialog_(dialog) {}

  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id, std::size_t max_chars) override;
  void SetChecked(int id, bool checked) override;
  bool IsChecked(int id) override;
  void AddComboEntry(int id, std::string_view text) override;
  int ComboSelection(int id) override;
  std::string ComboEntryText(int id, int index) override;
  void SetUpListView(int id, std::string_view column_title, int column_width_pixels,
                     bool check_boxes, bool full_row_select) override;
  void DeleteAllRows(int id) override;
  int AppendRow(int id, std::string_view text) override;
  void SetRowText(int id, int row, std::string_view text) override;
  std::string RowText(int id, int row, std::size_t max_chars) override;
  int RowCount(int id) override;
  bool IsRowChecked(int id, int row) override;
  void DeleteRow(int id, int row) override;
  int SelectionMark(int id) override;
  // MessageBoxW owned by the dialog.
  int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) override;
  // Moves the focus the dialog manager's way (WM_NEXTDLGCTL), so that the
  // default button follows.
  void SetFocus(int id) override;
  void EndDialog(int result) override;

  HWND dialog() const { return dialog_; }
  // Whether EndDialog or SetFocus was called (the runner's bookkeeping).
  bool ended() const { return ended_; }
  bool focus_set() const { return focus_set_; }

 private:
  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  HWND dialog_;
  bool ended_ = false;
  bool focus_set_ = false;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_DIALOGS_WIN_DIALOG_VIEW_H_

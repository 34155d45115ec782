// Dialogs: the behaviour of each dialog is a controller in the core; what it
// looks like is a view that each shell provides (a Win32 dialog built from
// the resource templates, a terminal prompt, or a scripted view in tests).
//
// Controls are addressed by the ids of the dialog templates. Everything runs
// on the host's user-interface thread; a view is valid only for the run of
// its dialog.
#ifndef VARNOX_PLATFORM_DIALOG_H_
#define VARNOX_PLATFORM_DIALOG_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace varnox {

// Dialog template ids.
namespace dialog_id {
inline constexpr int kSelectFolder = 106;   // "Select Outlook Folder"
inline constexpr int kTrain = 107;          // "Train Bayesian Filter"
inline constexpr int kSelectFolders = 108;  // "Select Folders"
inline constexpr int kBlackList = 109;
inline constexpr int kWhiteList = 110;
inline constexpr int kSettings = 111;
inline constexpr int kMailHeaders = 112;
inline constexpr int kAbout = 113;
}  // namespace dialog_id

// Dialog results and the two standard buttons.
inline constexpr int kIdOkButton = 1;
inline constexpr int kIdCancelButton = 2;

// What happened to a control.
enum class ControlEvent {
  kClicked,           // a push button or check box was pressed (Enter is the default button,
                      // Esc and the close box are kIdCancelButton)
  kSelectionChanged,  // a drop-down list's selection changed
  kDoubleClicked,     // a list view was double-clicked
};

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Text of a static, edit or button control. ControlText gives at most
  // `max_chars` characters (the rest of a longer text is not read).
  virtual void SetControlText(int id, std::string_view text) = 0;
  virtual std::string ControlText(int id, std::size_t max_chars) = 0;

  // Check boxes.
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsChecked(int id) = 0;

  // Drop-down lists: entries in the order added; selection -1 when none.
  virtual void AddComboEntry(int id, std::string_view text) = 0;
  virtual int ComboSelection(int id) = 0;
  virtual std::string ComboEntryText(int id, int index) = 0;

  // Report-view list views with one column.
  virtual void SetUpListView(int id, std::string_view column_title, int column_width_pixels,
                             bool check_boxes, bool full_row_select) = 0;
  virtual void DeleteAllRows(int id) = 0;
  virtual int AppendRow(int id, std::string_view text) = 0;  // returns the row index
  virtual void SetRowText(int id, int row, std::string_view text) = 0;
  virtual std::string RowText(int id, int row, std::size_t max_chars) = 0;
  virtual int RowCount(int id) = 0;
  virtual bool IsRowChecked(int id, int row) = 0;
  virtual void DeleteRow(int id, int row) = 0;
  // The row that holds the selection mark (the row last clicked), -1 when none.
  virtual int SelectionMark(int id) = 0;

  // A message box owned by the dialog; returns the button pressed (kIdOk,
  // kIdYes, kIdNo from platform/user_interface.h).
  virtual int ShowMessage(std::string_view text, std::string_view caption, std::uint32_t flags) = 0;
  virtual void SetFocus(int id) = 0;
  // Closes the dialog; RunModal returns `result`.
  virtual void EndDialog(int result) = 0;
};

class DialogController {
 public:
  virtual ~DialogController() = default;
  virtual int TemplateId() const = 0;
  // The dialog opens: fill the controls.
  virtual void OnInitDialog(DialogView& view) = 0;
  // A control event. Commands that a controller does not handle are ignored,
  // except kIdCancelButton, which a view turns into EndDialog(kIdCancelButton)
  // when the controller did not end the dialog itself.
  virtual void OnCommand(DialogView& view, int control_id, ControlEvent event) = 0;
};

// Runs dialogs modally, owned by the window active at the moment, centred
// over it (or over the work area when it is hidden or minimised) and kept
// within the work area.
class DialogRunner {
 public:
  virtual ~DialogRunner() = default;
  // Returns the result passed to EndDialog, or -1 when the dialog could not
  // be shown.
  virtual int RunModal(DialogController& controller) = 0;
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_DIALOG_H_

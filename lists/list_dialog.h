// The BlackList and WhiteList dialogs: one controller, run with the sender
// list of its kind. The user picks an entry type (domain or address), sees
// that type's entries, adds new ones, edits one after a double click, and
// removes the ticked (or else the selected) entries.
//
// Duplicates are judged against the list's file, without regard to letter
// case; every change goes to memory and to the file when it is made, so
// closing saves nothing.
#ifndef VARNOX_LISTS_LIST_DIALOG_H_
#define VARNOX_LISTS_LIST_DIALOG_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lists/sender_list.h"
#include "platform/dialog.h"

namespace varnox {

class ListDialog final : public DialogController {
 public:
  // Control ids of the template (the same for both lists).
  static constexpr int kIdTypeBox = 1016;
  static constexpr int kIdItemText = 1017;
  static constexpr int kIdEntries = 1007;
  static constexpr int kIdRemove = 1020;
  // Rows of the type box, in the order added.
  static constexpr int kTypeDomain = 0;
  static constexpr int kTypeAddress = 1;
  // Texts read from the text field or a row are cut to this many characters.
  static constexpr std::size_t kMaxTextChars = 259;

  // `list` must outlive the dialog.
  explicit ListDialog(SenderList& list) : list_(list) {}

  int TemplateId() const override;
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;

  // Read by the opener once the dialog has closed: reload the list from its
  // file when set. Set by an addition, update or removal that reached the
  // file. A change that could not be written lives in memory only, and a
  // reload would silently drop it, so from the first such failure on this
  // stays false for the rest of the run.
  bool changed() const { return changed_ && !memory_only_; }
  // True after a double click on a row: the default button then replaces
  // row editIndex() instead of adding.
  bool updateMode() const { return updateMode_; }
  int editIndex() const { return editIndex_; }

 private:
  void Dispatch(DialogView& view, int control_id, ControlEvent event);
  // The chosen type (kTypeDomain or kTypeAddress), or -1 when none.
  int ChosenType(DialogView& view);
  void LeaveUpdateMode(DialogView& view, std::string_view button_text);
  void ShowEntriesOfChosenType(DialogView& view);
  void BeginEditingMarkedRow(DialogView& view);
  void AddOrUpdate(DialogView& view);
  void AddEntry(DialogView& view, int type, const std::string& text);
  void UpdateEntry(DialogView& view, int type, const std::string& text);
  void RemoveChosenRows(DialogView& view);
  // The ticked rows, or else the row with the selection mark, in ascending
  // order.
  std::vector<int> RowsToRemove(DialogView& view);
  // Records the store's answer to a change: changed_ on success, otherwise
  // memory_only_ and the message that says so. Returns `stored`.
  bool NoteStoreResult(DialogView& view, bool stored);
  void Say(DialogView& view, std::string_view text);

  SenderList& list_;
  bool updateMode_ = false;
  int editIndex_ = -1;
  bool changed_ = false;
  bool memory_only_ = false;
};

}  // namespace varnox

#endif  // VARNOX_LISTS_LIST_DIALOG_H_

#include "win/dialogs/win_dialog_view.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "win/platform/wide_text.h"

namespace varnox::win {
namespace {

// Window messages count text in int; no text the dialogs show comes near.
constexpr std::size_t kMostChars = INT_MAX / 2;

// Reads a row's text no longer than `max_chars`, growing the buffer while the
// list view fills it (the view cannot tell a row's length in advance).
std::wstring ReadRowText(HWND list, int row, std::size_t max_chars) {
  max_chars = std::min(max_chars, kMostChars);
  std::size_t capacity = std::min<std::size_t>(max_chars, 259) + 1;
  for (;;) {
    std::wstring buffer(capacity, L'\0');
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(capacity);
    const auto copied = static_cast<std::size_t>(SendMessageW(
        list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    const bool filled = copied + 1 >= capacity;
    if (!filled || capacity > max_chars) {
      buffer.resize(std::min({copied, max_chars, capacity - 1}));
      return buffer;
    }
    capacity = std::min(capacity * 2, max_chars + 1);
  }
}

}  // namespace

void WinDialogView::SetControlText(int id, std::string_view text) {
  HWND control = Control(id);
  if (control != nullptr)
    SetWindowTextW(control, WidenFrom1252(text).c_str());
}

std::string WinDialogView::ControlText(int id, std::size_t max_chars) {
  HWND control = Control(id);
  if (control == nullptr || max_chars == 0)
    return {};
  const int length = GetWindowTextLengthW(control);
  if (length <= 0)
    return {};
  // GetWindowTextLength may overstate, never understate; the buffer is cut
  // to what was copied.
  std::wstring buffer(std::min({static_cast<std::size_t>(length), max_chars, kMostChars}) + 1,
                      L'\0');
  const int copied = GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()));
  buffer.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return NarrowTo1252(buffer);
}

void WinDialogView::SetChecked(int id, bool checked) {
  CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool WinDialogView::IsChecked(int id) {
  return IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void WinDialogView::AddComboEntry(int id, std::string_view text) {
  const std::wstring wide = WidenFrom1252(text);
  SendDlgItemMessageW(dialog_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

int WinDialogView::ComboSelection(int id) {
  if (Control(id) == nullptr)
    return -1;
  const LRESULT selection = SendDlgItemMessageW(dialog_, id, CB_GETCURSEL, 0, 0);
  return selection == CB_ERR ? -1 : static_cast<int>(selection);
}

std::string WinDialogView::ComboEntryText(int id, int index) {
  HWND combo = Control(id);
  if (combo == nullptr)
    return {};
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length <= 0 || static_cast<std::size_t>(length) > kMostChars)
    return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(copied > 0 ? static_cast<std::size_t>(std::min(copied, length)) : 0);
  return NarrowTo1252(buffer);
}

void WinDialogView::SetUpListView(int id, std::string_view column_title, int column_width_pixels,
                                  bool check_boxes, bool full_row_select) {
  HWND list = Control(id);
  if (list == nullptr)
    return;
  const DWORD wanted =
      (check_boxes ? LVS_EX_CHECKBOXES : 0) | (full_row_select ? LVS_EX_FULLROWSELECT : 0);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
               wanted);
  std::wstring title = WidenFrom1252(column_title);
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = column_width_pixels;
  column.pszText = title.data();
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

void WinDialogView::DeleteAllRows(int id) {
  SendDlgItemMessageW(dialog_, id, LVM_DELETEALLITEMS, 0, 0);
}

int WinDialogView::AppendRow(int id, std::string_view text) {
  HWND list = Control(id);
  if (list == nullptr)
    return -1;
  std::wstring wide = WidenFrom1252(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount(id);  // at the end: the list is not sorted
  item.pszText = wide.data();
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void WinDialogView::SetRowText(int id, int row, std::string_view text) {
  std::wstring wide = WidenFrom1252(text);
  LVITEMW item{};
  item.iSubItem = 0;
  item.pszText = wide.data();
  SendDlgItemMessageW(dialog_, id, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                      reinterpret_cast<LPARAM>(&item));
}

std::string WinDialogView::RowText(int id, int row, std::size_t max_chars) {
  HWND list = Control(id);
  if (list == nullptr || row < 0 || row >= RowCount(id) || max_chars == 0)
    return {};
  return NarrowTo1252(ReadRowText(list, row, max_chars));
}

int WinDialogView::RowCount(int id) {
  if (Control(id) == nullptr)
    return 0;
  return static_cast<int>(SendDlgItemMessageW(dialog_, id, LVM_GETITEMCOUNT, 0, 0));
}

bool WinDialogView::IsRowChecked(int id, int row) {
  if (Control(id) == nullptr || row < 0)
    return false;
  // State image 2 is the ticked box, 1 the empty one.
  const auto state = static_cast<UINT>(SendDlgItemMessageW(
      dialog_, id, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
  return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

void WinDialogView::DeleteRow(int id, int row) {
  SendDlgItemMessageW(dialog_, id, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

int WinDialogView::SelectionMark(int id) {
  if (Control(id) == nullptr)
    return -1;
  return static_cast<int>(SendDlgItemMessageW(dialog_, id, LVM_GETSELECTIONMARK, 0, 0));
}

int WinDialogView::ShowMessage(std::string_view text, std::string_view caption,
                               std::uint32_t flags) {
  return MessageBoxW(dialog_, WidenFrom1252(text).c_str(), WidenFrom1252(caption).c_str(), flags);
}

void WinDialogView::SetFocus(int id) {
  focus_set_ = true;
  HWND control = Control(id);
  if (control != nullptr)
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void WinDialogView::EndDialog(int result) {
  ended_ = true;
  ::EndDialog(dialog_, result);
}

}  // namespace varnox::win

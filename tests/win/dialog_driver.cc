#include "tests/win/dialog_driver.h"

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "win/platform/wide_text.h"

namespace varnox::win::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Long enough for a loaded machine; a dialog normally appears in
// milliseconds.
constexpr auto kPatience = std::chrono::seconds(20);
constexpr auto kPoll = std::chrono::milliseconds(20);
// A message box's text is the static with this id, on Windows and Wine.
constexpr int kMessageTextId = 0xFFFF;

bool IsDialogClass(HWND window) {
  wchar_t name[16] = {};
  return GetClassNameW(window, name, 16) > 0 && std::wstring_view(name) == L"#32770";
}

bool IsMessageBox(HWND window) {
  return IsDialogClass(window) && GetDlgItem(window, kMessageTextId) != nullptr;
}

std::vector<int> ButtonsOf(HWND box) {
  std::vector<int> buttons;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    if (IsWindowVisible(child) && GetClassNameW(child, name, 16) > 0 &&
        CompareStringOrdinal(name, -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
      buttons.push_back(GetDlgCtrlID(child));
    }
  }
  return buttons;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
  if (IsWindowVisible(window))
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

HWND Control(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  EXPECT_NE(control, nullptr) << "no control " << id << " in '" << WindowText(dialog) << "'";
  return control;
}

// A 24-bit bottom-up BMP file of `bits` (rows padded to 4 bytes).
bool WriteBmp(const std::string& path, int width, int height, const void* bits) {
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + info.biSizeImage;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr)
    return false;
  bool written = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                 std::fwrite(&info, sizeof(info), 1, out) == 1 &&
                 std::fwrite(bits, info.biSizeImage, 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

}  // namespace

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0)
    return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return NarrowTo1252(text);
}

DialogDriver::DialogDriver(Script script) : dialog_thread_(GetCurrentThreadId()) {
  thread_ = std::thread([this, script = std::move(script)] { Run(script); });
}

DialogDriver::~DialogDriver() {
  dialogs_done_ = true;
  thread_.join();
}

void DialogDriver::Run(const Script& script) {
  // Scripts may read what the dialogs wrote through COM (the XML files).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool gave_up = false;
  try {
    script(*this);
  } catch (const GaveUp&) {
    gave_up = true;
  }
  // The dialogs' thread is still inside a dialog or message box: after a
  // failure at once, otherwise after a grace period, close what is open.
  const auto deadline = Clock::now() + (gave_up ? std::chrono::seconds(0) : kPatience);
  bool reported = gave_up;
  while (!dialogs_done_) {
    if (Clock::now() >= deadline) {
      if (!reported)
        ADD_FAILURE() << "the script ended with a dialog or message box still open";
      reported = true;
      CloseEverything();
    }
    std::this_thread::sleep_for(kPoll);
  }
  if (SUCCEEDED(com))
    CoUninitialize();
}

std::vector<HWND> DialogDriver::OwnWindows() const {
  std::vector<HWND> found;
  EnumThreadWindows(dialog_thread_, CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

void DialogDriver::GiveUp(const std::string& what) {
  ADD_FAILURE() << what;
  throw GaveUp{};
}

void DialogDriver::CloseEverything() {
  for (HWND window : OwnWindows()) {
    if (!IsDialogClass(window))
      continue;
    int button = IDCANCEL;
    if (IsMessageBox(window)) {
      const std::vector<int> buttons = ButtonsOf(window);
      for (int choice : {IDCANCEL, IDNO, IDOK}) {
        if (std::find(buttons.begin(), buttons.end(), choice) != buttons.end()) {
          button = choice;
          break;
        }
      }
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  }
}

HWND DialogDriver::WaitForDialog(std::string_view caption, HWND owner) {
  for (auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
    for (HWND window : OwnWindows()) {
      if (IsDialogClass(window) && !IsMessageBox(window) && WindowText(window) == caption &&
          (owner == nullptr || GetWindow(window, GW_OWNER) == owner)) {
        return window;
      }
    }
    std::this_thread::sleep_for(kPoll);
  }
  GiveUp("no dialog '" + std::string(caption) + "' appeared");
}

ShownMessage DialogDriver::WaitForMessage(HWND owner) {
  for (auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
    for (HWND window : OwnWindows()) {
      if (IsMessageBox(window) && GetWindow(window, GW_OWNER) == owner) {
        ShownMessage shown;
        shown.window = window;
        shown.owner = owner;
        shown.caption = WindowText(window);
        shown.text = WindowText(GetDlgItem(window, kMessageTextId));
        shown.buttons = ButtonsOf(window);
        return shown;
      }
    }
    std::this_thread::sleep_for(kPoll);
  }
  GiveUp(owner == nullptr ? "no message box without owner appeared"
                          : "no message box over '" + WindowText(owner) + "' appeared");
}

bool DialogDriver::NoMessageFor(HWND owner) {
  for (auto deadline = Clock::now() + std::chrono::milliseconds(500); Clock::now() < deadline;) {
    for (HWND window : OwnWindows()) {
      if (IsMessageBox(window) && GetWindow(window, GW_OWNER) == owner)
        return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

bool DialogDriver::WaitForText(HWND dialog, int id, std::string_view text) {
  for (auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
    if (Text(dialog, id) == text)
      return true;
    std::this_thread::sleep_for(kPoll);
  }
  return false;
}

void DialogDriver::Settle(HWND window) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL,
                      static_cast<UINT>(std::chrono::milliseconds(kPatience).count()), &ignored);
}

void DialogDriver::Answer(const ShownMessage& message, int button) {
  HWND control = GetDlgItem(message.window, button);
  if (control == nullptr)
    GiveUp("the message '" + message.text + "' has no button " + std::to_string(button));
  PostMessageW(message.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
  WaitUntilClosed(message.window);
  // What the dialog does after its message (the focus it moves) is done
  // before the script looks again.
  if (message.owner != nullptr)
    Settle(message.owner);
}

void DialogDriver::WaitUntilClosed(HWND window) {
  for (auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
    if (!IsWindow(window))
      return;
    std::this_thread::sleep_for(kPoll);
  }
  GiveUp("'" + WindowText(window) + "' did not close");
}

std::string DialogDriver::Text(HWND dialog, int id) {
  HWND control = Control(dialog, id);
  return control != nullptr ? WindowText(control) : std::string();
}

bool DialogDriver::Checked(HWND dialog, int id) {
  return SendMessageW(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::string> DialogDriver::ComboEntries(HWND dialog, int id) {
  HWND combo = Control(dialog, id);
  std::vector<std::string> entries;
  const auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    entries.push_back(NarrowTo1252(text));
  }
  return entries;
}

int DialogDriver::ComboSelection(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(Control(dialog, id), CB_GETCURSEL, 0, 0));
}

std::vector<std::string> DialogDriver::Rows(HWND dialog, int id) {
  HWND list = Control(dialog, id);
  std::vector<std::string> rows;
  const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    wchar_t text[1024] = {};
    LVITEMW item{};
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    rows.push_back(NarrowTo1252(text));
  }
  return rows;
}

std::vector<bool> DialogDriver::RowTicks(HWND dialog, int id) {
  HWND list = Control(dialog, id);
  std::vector<bool> ticks;
  const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    const auto state =
        SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    ticks.push_back((state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2));
  }
  return ticks;
}

std::string DialogDriver::ColumnTitle(HWND dialog, int id) {
  wchar_t title[256] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = title;
  column.cchTextMax = 256;
  if (!SendMessageW(Control(dialog, id), LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)))
    return "<no column>";
  return NarrowTo1252(title);
}

int DialogDriver::ColumnWidth(HWND dialog, int id) {
  return static_cast<int>(SendMessageW(Control(dialog, id), LVM_GETCOLUMNWIDTH, 0, 0));
}

HWND DialogDriver::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(dialog_thread_, &info) ? info.hwndFocus : nullptr;
}

void DialogDriver::Type(HWND dialog, int id, std::string_view text) {
  SendMessageW(Control(dialog, id), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(WidenFrom1252(text).c_str()));
}

void DialogDriver::Click(HWND dialog, int id) {
  SendMessageW(Control(dialog, id), BM_CLICK, 0, 0);
}

void DialogDriver::ClickOpening(HWND dialog, int id) {
  PostMessageW(Control(dialog, id), BM_CLICK, 0, 0);
}

void DialogDriver::Choose(HWND dialog, int id, int index) {
  HWND combo = Control(dialog, id);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void DialogDriver::TickRow(HWND dialog, int id, int row, bool ticked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
  SendMessageW(Control(dialog, id), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(&item));
}

void DialogDriver::DoubleClickRow(HWND dialog, int id, int row) {
  HWND list = Control(dialog, id);
  // What a click does to the row first: select it and put the mark on it.
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  SendMessageW(list, LVM_SETSELECTIONMARK, 0, row);
  NMITEMACTIVATE activate{};
  activate.hdr.hwndFrom = list;
  activate.hdr.idFrom = static_cast<UINT_PTR>(id);
  activate.hdr.code = NM_DBLCLK;
  activate.iItem = row;
  SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&activate));
}

void DialogDriver::PressKey(WORD key) {
  HWND focus = Focus();
  if (focus == nullptr)
    GiveUp("no control has the focus");
  PostMessageW(focus, WM_KEYDOWN, key, 1);
  PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
}

void DialogDriver::CloseBox(HWND dialog) {
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void DialogDriver::Screenshot(HWND window, std::string_view name) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  // The display server draws what Wine sent it a moment later.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, picture);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const std::string path = std::string(VARNOX_SCREENSHOT_DIR) + "/" + std::string(name) + ".bmp";
  EXPECT_TRUE(copied && bits != nullptr && WriteBmp(path, width, height, bits))
      << "screenshot " << path;
  SelectObject(memory, previous);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

}  // namespace varnox::win::testing

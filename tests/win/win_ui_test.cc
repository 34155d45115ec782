// What the Win32 shell shows and draws: message boxes, button faces, and the
// clipboard hand-over of PasteFace. Runs with a display (VARNOX_DRAWS).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "settings/info_dialogs.h"
#include "win/platform/wide_text.h"
#include "win/platform/win_button_faces.h"
#include "win/platform/win_user_interface.h"

namespace varnox::win {
namespace {

// An icon of `width` by `height`: red where opaque, with the left half of
// the mask transparent.
HICON MakeIcon(int width, int height) {
  const int mask_stride = ((width + 15) / 16) * 2;
  std::string mask(static_cast<std::size_t>(mask_stride * height), '\0');
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width / 2; ++x)
      mask[y * mask_stride + x / 8] |= static_cast<char>(0x80 >> (x % 8));  // 1 = transparent
  }
  HBITMAP mask_bitmap = CreateBitmap(width, height, 1, 1, mask.data());
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateCompatibleBitmap(screen, width, height);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(memory, colour);
  RECT all{0, 0, width, height};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(memory, &all, red);
  // Where the mask is transparent the image must be black for a clean
  // AND/XOR draw.
  RECT left{0, 0, width / 2, height};
  FillRect(memory, &left, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DeleteObject(red);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  ICONINFO info{TRUE, 0, 0, mask_bitmap, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask_bitmap);
  DeleteObject(colour);
  return icon;
}

COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  COLORREF pixel = GetPixel(memory, x, y);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixel;
}

TEST(WinButtonFacesTest, DrawsAnyIconAtSixteenOnTheFaceColour) {
  const COLORREF face_colour = RGB(0, 128, 255);
  struct Case {
    int width, height;
  };
  for (const Case c : {Case{24, 27}, Case{16, 17}, Case{16, 16}, Case{24, 24}}) {
    HICON icon = MakeIcon(c.width, c.height);
    ASSERT_NE(icon, nullptr);
    auto face = DrawButtonFace(icon, face_colour);
    DestroyIcon(icon);
    ASSERT_NE(face, nullptr) << c.width << "x" << c.height;
    BITMAP info{};
    ASSERT_TRUE(GetObjectW(face->bitmap(), sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);
    EXPECT_EQ(PixelOf(face->bitmap(), 2, 8), face_colour) << "transparent half shows the face";
    EXPECT_EQ(PixelOf(face->bitmap(), 13, 8), RGB(255, 0, 0)) << "opaque half shows the icon";
  }
  EXPECT_EQ(DrawButtonFace(nullptr, face_colour), nullptr);
}

TEST(WinButtonFacesTest, MissingIconResourceGivesNoFace) {
  WinButtonFaces faces(GetModuleHandleW(nullptr));
  EXPECT_EQ(faces.MakeButtonFace(206, COLOR_BTNFACE), nullptr) << "the test program has no icons";
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr))
    return "<no clipboard>";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

void PutClipboardText(const std::string& text) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  SetClipboardData(CF_TEXT, memory);
  CloseClipboard();
}

TEST(WinButtonFacesTest, PasteSeesTheFaceAndTheUsersClipboardSurvives) {
  PutClipboardText("what the user copied");
  HICON icon = MakeIcon(16, 16);
  auto face = DrawButtonFace(icon, RGB(1, 2, 3));
  DestroyIcon(icon);
  ASSERT_NE(face, nullptr);
  WinButtonFaces faces(GetModuleHandleW(nullptr));
  bool had_bitmap = false;
  HResult hr = faces.PasteThroughClipboard(*face, [&] {
    had_bitmap = IsClipboardFormatAvailable(CF_BITMAP) != FALSE;
    return static_cast<HResult>(S_FALSE);
  });
  EXPECT_EQ(hr, static_cast<HResult>(S_FALSE)) << "the paste's own status";
  EXPECT_TRUE(had_bitmap);
  EXPECT_EQ(ClipboardText(), "what the user copied");
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP)) << "the face does not stay behind";
}

// Presses `button` of the first message box captioned `caption` that
// appears within a few seconds; records the box's text.
void AnswerMessageBox(const char* caption, int button, std::string* text) {
  for (int i = 0; i < 500; ++i) {
    HWND box = FindWindowA("#32770", caption);
    if (box != nullptr) {
      char buffer[256] = {};
      GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
      *text = buffer;
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      return;
    }
    Sleep(10);
  }
}

TEST(WinUserInterfaceTest, MessageBoxShowsTextAndReturnsTheButton) {
  WinUserInterface ui(L"");
  struct Case {
    std::uint32_t flags;
    int press;
  };
  for (const Case c :
       {Case{kMbOk, kIdOk}, Case{kMbYesNo | kMbIconWarning, kIdNo}, Case{kMbYesNo, kIdYes},
        Case{kMbOk | kMbTopmost | kMbSetForeground, kIdOk}}) {
    std::string shown;
    std::thread answer(AnswerMessageBox, "Varnox test", c.press, &shown);
    int result = ui.ShowMessage("Move failed: caf\xE9", "Varnox test", c.flags);
    answer.join();
    EXPECT_EQ(result, c.press) << c.flags;
    EXPECT_EQ(shown, "Move failed: caf\xE9") << c.flags;
  }
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TEST(WinUserInterfaceTest, PagesAreTheModulesFolderAndFileName) {
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
  } cases[] = {
      {L"C:\\Users\\Zo\u00eb\\Programs\\Varnox\\x64\\VarnoxMail.dll",
       L"C:\\Users\\Zo\u00eb\\Programs\\Varnox\\x64"},
      {L"Z:/work/build/win/VarnoxMail.dll", L"Z:/work/build/win"},
      {L"VarnoxMail.dll", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FolderOf(c.path), c.folder);
}

// Help and Support hand the shell the pages the build made beside the DLL,
// and the page of a folder whose name code page 1252 cannot show arrives
// whole.
TEST(WinUserInterfaceTest, HelpAndSupportHandTheShellPagesThatExist) {
  const std::wstring build_folder = win::WidenFromUtf8(VARNOX_MODULE_FOLDER);
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring cyrillic = std::wstring(temp) +
                                L"\u0414\u043c\u0438\u0442\u0440\u0438\u0439 " +
                                std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(cyrillic.c_str(), nullptr));
  for (const wchar_t* page : {L"\\help.html", L"\\support.html"})
    ASSERT_TRUE(CopyFileW((build_folder + page).c_str(), (cyrillic + page).c_str(), FALSE));

  for (const std::wstring& folder : {build_folder, cyrillic}) {
    std::vector<std::wstring> handed;
    WinUserInterface ui(folder, [&](const std::wstring& path) { handed.push_back(path); });
    ui.OpenPage(kHelpPage);
    ui.OpenPage(kSupportPage);
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(handed[0], folder + L"\\help.html");
    EXPECT_EQ(handed[1], folder + L"\\support.html");
    for (const std::wstring& path : handed)
      EXPECT_TRUE(FileExists(path)) << win::NarrowToUtf8(path);
  }
  for (const wchar_t* page : {L"\\help.html", L"\\support.html"})
    DeleteFileW((cyrillic + page).c_str());
  RemoveDirectoryW(cyrillic.c_str());
}

}  // namespace
}  // namespace varnox::win

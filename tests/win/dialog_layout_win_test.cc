// The module's dialog templates and pictures as Windows builds them, and
// where dialogs open: every control inside its dialog, no two controls on
// top of each other, every text fits its control; the faces, product icon
// and banners at their sizes; the centring rule on its own and on screen.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "settings/info_dialogs.h"
#include "settings/settings_dialog.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/dialog_world.h"
#include "win/dialogs/dialog_centring.h"
#include "win/platform/win_button_faces.h"

namespace varnox::win::testing {
namespace {

// --- Templates.

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct Child {
  HWND window;
  int id;
  std::wstring class_name;
  LONG style;
  RECT rect;  // in the dialog's client coordinates
  std::string text;
};

std::vector<Child> ChildrenOf(HWND dialog) {
  std::vector<Child> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    Child c{child, GetDlgCtrlID(child), ClassOf(child), GetWindowLongW(child, GWL_STYLE),
            {},    WindowText(child)};
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
    children.push_back(c);
  }
  return children;
}

bool IsButtonKind(const Child& c, LONG kind) {
  return CompareStringOrdinal(c.class_name.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL &&
         (c.style & BS_TYPEMASK) == kind;
}

bool IsGroupBox(const Child& c) {
  return IsButtonKind(c, BS_GROUPBOX);
}

bool IsTextStatic(const Child& c) {
  if (CompareStringOrdinal(c.class_name.c_str(), -1, L"Static", -1, TRUE) != CSTR_EQUAL)
    return false;
  const LONG kind = c.style & SS_TYPEMASK;
  return kind == SS_LEFT || kind == SS_CENTER || kind == SS_RIGHT;
}

std::string Describe(const Child& c) {
  return "control " + std::to_string(c.id) + " '" + c.text + "'";
}

// The room a text needs in `dialog`'s font, wrapped at `wrap_width` pixels
// (0: on one line).
SIZE TextExtent(HWND dialog, const std::string& text, int wrap_width) {
  HDC dc = GetDC(dialog);
  HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
  std::wstring wide(text.begin(), text.end());
  RECT room{0, 0, wrap_width, 0};
  DrawTextW(dc, wide.c_str(), -1, &room,
            DT_CALCRECT | (wrap_width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, previous);
  ReleaseDC(dialog, dc);
  return {room.right, room.bottom};
}

class TemplateLayout : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    dialog =
        CreateDialogParamW(AddinModule(), MAKEINTRESOURCEW(GetParam()), nullptr, NoDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << "template " << GetParam();
  }
  void TearDown() override { DestroyWindow(dialog); }

  HWND dialog = nullptr;
};

TEST_P(TemplateLayout, IsAModalFrameWithCaptionAndSystemMenuInMsSansSerif) {
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_EQ(style & (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
            DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  LOGFONTW font{};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)),
                         sizeof(font), &font));
  EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
  // 8 points at the display's resolution.
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(-font.lfHeight, MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
}

TEST_P(TemplateLayout, EveryControlLiesInsideTheDialogAndNoneOverlapAnother) {
  RECT client{};
  GetClientRect(dialog, &client);
  const std::vector<Child> children = ChildrenOf(dialog);
  ASSERT_FALSE(children.empty());
  for (const Child& c : children) {
    EXPECT_TRUE(c.rect.left >= 0 && c.rect.top >= 0 && c.rect.right <= client.right &&
                c.rect.bottom <= client.bottom)
        << Describe(c) << " leaves the dialog";
  }
  // Group boxes frame others on purpose; everything else stands apart.
  for (std::size_t i = 0; i < children.size(); ++i) {
    for (std::size_t j = i + 1; j < children.size(); ++j) {
      if (IsGroupBox(children[i]) || IsGroupBox(children[j]))
        continue;
      RECT both{};
      EXPECT_FALSE(IntersectRect(&both, &children[i].rect, &children[j].rect))
          << Describe(children[i]) << " overlaps " << Describe(children[j]);
    }
  }
}

TEST_P(TemplateLayout, EveryTextFitsItsControl) {
  // A check box's box and the gap after it.
  const int check_room = GetSystemMetrics(SM_CXMENUCHECK) + 4;
  for (const Child& c : ChildrenOf(dialog)) {
    if (c.text.empty())
      continue;
    const int width = c.rect.right - c.rect.left;
    const int height = c.rect.bottom - c.rect.top;
    if (IsTextStatic(c)) {
      const SIZE needed = TextExtent(dialog, c.text, width);
      EXPECT_LE(needed.cx, width) << Describe(c);
      EXPECT_LE(needed.cy, height) << Describe(c) << " is cut at the bottom";
    } else if (IsButtonKind(c, BS_AUTOCHECKBOX)) {
      EXPECT_LE(TextExtent(dialog, c.text, 0).cx + check_room, width) << Describe(c);
    } else if (IsButtonKind(c, BS_PUSHBUTTON) || IsButtonKind(c, BS_DEFPUSHBUTTON)) {
      EXPECT_LE(TextExtent(dialog, c.text, 0).cx + 6, width) << Describe(c);
    } else if (IsGroupBox(c)) {
      EXPECT_LE(TextExtent(dialog, c.text, 0).cx + 16, width) << Describe(c);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDialog, TemplateLayout,
                         ::testing::Values(dialog_id::kSelectFolder, dialog_id::kTrain,
                                           dialog_id::kSelectFolders, dialog_id::kBlackList,
                                           dialog_id::kWhiteList, dialog_id::kSettings,
                                           dialog_id::kMailHeaders, dialog_id::kAbout));

// The texts the controllers put into the templates at run time fit too.
TEST(TemplateTexts, TheAboutNoticeFitsItsBox) {
  HWND dialog = CreateDialogParamW(AddinModule(), MAKEINTRESOURCEW(dialog_id::kAbout), nullptr,
                                   NoDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  RECT box{};
  GetWindowRect(GetDlgItem(dialog, AboutDialog::kIdNotice), &box);
  const SIZE needed = TextExtent(dialog, std::string(AboutDialog::kNotice), box.right - box.left);
  EXPECT_LE(needed.cx, box.right - box.left);
  EXPECT_LE(needed.cy, box.bottom - box.top);
  DestroyWindow(dialog);
}

// The second judge's box closes the "Bayesian Filter Settings" group: inside
// its frame, below the word count, with OK and Cancel under the frame.
TEST(TemplateTexts, TheSecondJudgeBoxIsTheLastRowOfTheBayesianGroup) {
  HWND dialog = CreateDialogParamW(AddinModule(), MAKEINTRESOURCEW(dialog_id::kSettings), nullptr,
                                   NoDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  const std::vector<Child> children = ChildrenOf(dialog);
  const Child* group = nullptr;
  const Child* judge = nullptr;
  int lowest_other_bottom = 0;
  for (const Child& c : children) {
    if (IsGroupBox(c) && c.text == "Bayesian Filter Settings")
      group = &c;
    else if (c.id == SettingsDialog::kIdSecondJudge)
      judge = &c;
  }
  ASSERT_NE(group, nullptr);
  ASSERT_NE(judge, nullptr);
  EXPECT_TRUE(IsButtonKind(*judge, BS_AUTOCHECKBOX));
  RECT inside{};
  EXPECT_TRUE(IntersectRect(&inside, &group->rect, &judge->rect) &&
              EqualRect(&inside, &judge->rect))
      << "the box lies inside the group's frame";
  for (const Child& c : children) {
    const bool in_group = c.rect.top > group->rect.top && c.rect.bottom < group->rect.bottom;
    if (&c != judge && &c != group && in_group)
      lowest_other_bottom = std::max<int>(lowest_other_bottom, c.rect.bottom);
    if (c.id == IDOK || c.id == IDCANCEL) {
      EXPECT_GE(c.rect.top, group->rect.bottom) << Describe(c);
    }
  }
  EXPECT_GE(judge->rect.top, lowest_other_bottom) << "below every other control of the group";
  DestroyWindow(dialog);
}

// --- Pictures.

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
struct GroupIcon {
  WORD reserved, type, count;
  GroupIconEntry entries[1];
};
#pragma pack(pop)

// `type`: 14 for an icon group (RT_GROUP_ICON), 2 for a bitmap (RT_BITMAP).
const void* Resource(int id, LPCWSTR type, DWORD* size) {
  HRSRC found = FindResourceW(AddinModule(), MAKEINTRESOURCEW(id), type);
  if (found == nullptr)
    return nullptr;
  *size = SizeofResource(AddinModule(), found);
  return LockResource(LoadResource(AddinModule(), found));
}

struct IconCase {
  int id;
  int width;
  int height;
};

void PrintTo(const IconCase& c, std::ostream* out) {
  *out << "icon " << c.id;
}

class IconResource : public ::testing::TestWithParam<IconCase> {};

TEST_P(IconResource, IsOneTwentyFourBitImageOfItsSize) {
  DWORD size = 0;
  const auto* group =
      static_cast<const GroupIcon*>(Resource(GetParam().id, MAKEINTRESOURCEW(14), &size));
  ASSERT_NE(group, nullptr) << "icon " << GetParam().id;
  ASSERT_GE(size, sizeof(GroupIcon));
  ASSERT_EQ(group->count, 1);
  EXPECT_EQ(group->entries[0].width, GetParam().width);
  EXPECT_EQ(group->entries[0].height, GetParam().height);
  EXPECT_EQ(group->entries[0].bit_count, 24);
  // Loaded as MakeButtonFace loads it.
  HICON icon = static_cast<HICON>(
      LoadImageW(AddinModule(), MAKEINTRESOURCEW(GetParam().id), IMAGE_ICON, 0, 0, 0x1020));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP mask{};
  GetObjectW(info.hbmMask, sizeof(mask), &mask);
  EXPECT_EQ(mask.bmWidth, GetParam().width);
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  DestroyIcon(icon);
}

INSTANTIATE_TEST_SUITE_P(FacesAndProduct, IconResource,
                         ::testing::Values(IconCase{206, 24, 24}, IconCase{207, 24, 24},
                                           IconCase{208, 16, 17}, IconCase{209, 16, 17},
                                           IconCase{210, 16, 16}, IconCase{211, 24, 27},
                                           IconCase{212, 16, 16}, IconCase{213, 24, 24}));

// The toolbar's faces as MakeButtonFace draws them from the module: the
// picture on the button colour, which shows through where the icon's mask
// says so (every face leaves its corners clear).
TEST(ButtonFaceResource, EachFaceShowsItsPictureOnTheButtonColour) {
  WinButtonFaces faces(AddinModule());
  for (int id : {206, 207, 208, 209, 210, 211, 213}) {
    std::unique_ptr<ButtonFace> made = faces.MakeButtonFace(id, COLOR_BTNFACE);
    ASSERT_NE(made, nullptr) << "face " << id;
    const COLORREF button = GetSysColor(COLOR_BTNFACE);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(memory, static_cast<const WinButtonFace&>(*made).bitmap());
    EXPECT_EQ(GetPixel(memory, 0, 0), button) << "face " << id << ": clear corner";
    EXPECT_EQ(GetPixel(memory, 15, 0), button) << "face " << id << ": clear corner";
    int picture = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        picture += GetPixel(memory, x, y) != button;
    EXPECT_GT(picture, 64) << "face " << id << " shows a picture";
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }
}

TEST(BannerResource, EachIsA400By70TwentyFourBitBitmap) {
  for (int id : {301, 302, 303, 304}) {
    DWORD size = 0;
    const auto* header =
        static_cast<const BITMAPINFOHEADER*>(Resource(id, MAKEINTRESOURCEW(2), &size));
    ASSERT_NE(header, nullptr) << "banner " << id;
    ASSERT_GE(size, sizeof(BITMAPINFOHEADER) + 400 * 70 * 3);
    EXPECT_EQ(header->biWidth, 400);
    EXPECT_EQ(header->biHeight, 70);
    EXPECT_EQ(header->biBitCount, 24);
  }
}

// --- Centring.

struct CentringCase {
  const char* name;
  ScreenRect dialog, over, work;
  ScreenRect expected;
};

void PrintTo(const CentringCase& c, std::ostream* out) {
  *out << c.name;
}

class CentredWithinRule : public ::testing::TestWithParam<CentringCase> {};

TEST_P(CentredWithinRule, Places) {
  const CentringCase& c = GetParam();
  EXPECT_EQ(CentredWithin(c.dialog, c.over, c.work), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CentredWithinRule,
    ::testing::Values(CentringCase{"OverTheOwner",
                                   {0, 0, 200, 100},
                                   {100, 100, 500, 400},
                                   {0, 0, 1280, 1000},
                                   {200, 200, 400, 300}},
                      CentringCase{"ShiftedLeftOffTheRightEdge",
                                   {0, 0, 200, 100},
                                   {1100, 100, 1400, 300},
                                   {0, 0, 1280, 1000},
                                   {1080, 150, 1280, 250}},
                      CentringCase{"ShiftedDownOffTheTop",
                                   {0, 0, 200, 100},
                                   {100, -300, 300, -100},
                                   {0, 0, 1280, 1000},
                                   {100, 0, 300, 100}},
                      CentringCase{"ScreenLeftOfThePrimary",
                                   {0, 0, 200, 100},
                                   {-1200, 0, -800, 400},
                                   {-1280, 0, 0, 1000},
                                   {-1100, 150, -900, 250}},
                      CentringCase{"LargerThanTheWorkAreaKeepsItsCaptionOnScreen",
                                   {0, 0, 300, 900},
                                   {0, 0, 200, 200},
                                   {0, 0, 250, 600},
                                   {0, 0, 300, 900}},
                      CentringCase{"OverTheWorkArea",
                                   {0, 0, 201, 101},
                                   {0, 40, 1280, 1000},
                                   {0, 40, 1280, 1000},
                                   {539, 469, 740, 570}}),
    [](const ::testing::TestParamInfo<CentringCase>& info) { return info.param.name; });

POINT CentreOf(const RECT& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Opens About over `explorer` and gives the dialog's rectangle on screen.
RECT WhereAboutOpens(ExplorerWindow& explorer, bool owned) {
  RECT placed{};
  WinDialogRunner runner(AddinModule());
  AboutDialog about;
  DialogDriver driver([&](DialogDriver& d) {
    HWND dialog = d.WaitForDialog("About", owned ? explorer.window() : nullptr);
    GetWindowRect(dialog, &placed);
    d.Click(dialog, IDCANCEL);
    d.WaitUntilClosed(dialog);
  });
  runner.RunModal(about);
  return placed;
}

RECT WorkArea() {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

TEST(CentringWin, OpensCentredOverTheExplorer) {
  ExplorerWindow explorer(150, 90, 700, 500);
  RECT owner{};
  GetWindowRect(explorer.window(), &owner);
  const RECT placed = WhereAboutOpens(explorer, true);
  EXPECT_NEAR(CentreOf(placed).x, CentreOf(owner).x, 1);
  EXPECT_NEAR(CentreOf(placed).y, CentreOf(owner).y, 1);
}

TEST(CentringWin, StaysOnScreenWhenTheExplorerIsPartlyOff) {
  const RECT work = WorkArea();
  ExplorerWindow explorer(work.right - 200, work.bottom - 150, 700, 500);
  const RECT placed = WhereAboutOpens(explorer, true);
  EXPECT_EQ(placed.right, work.right);
  EXPECT_EQ(placed.bottom, work.bottom);
}

TEST(CentringWin, OpensOverTheWorkAreaWhenTheExplorerIsMinimised) {
  ExplorerWindow explorer(40, 40, 500, 400);
  ShowWindow(explorer.window(), SW_MINIMIZE);
  SetActiveWindow(explorer.window());
  const bool owned = GetActiveWindow() == explorer.window();
  const RECT placed = WhereAboutOpens(explorer, owned);
  const RECT work = WorkArea();
  EXPECT_NEAR(CentreOf(placed).x, CentreOf(work).x, 1);
  EXPECT_NEAR(CentreOf(placed).y, CentreOf(work).y, 1);
}

}  // namespace
}  // namespace varnox::win::testing

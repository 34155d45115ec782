#include "tests/win/dialog_world.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/settings_store.h"

namespace varnox::win::testing {
namespace {

constexpr wchar_t kExplorerClass[] = L"VarnoxTestExplorer";

std::string ListFile(const char* root, const std::vector<std::string>& entries) {
  std::string xml = std::string("<?xml version=\"1.0\" ?>\n<") + root + ">\n";
  for (const std::string& entry : entries) {
    const char* element = !entry.empty() && entry[0] == '@' ? "Domain" : "MailID";
    xml += std::string("  <") + element + " Name=\"" + entry + "\" />\n";
  }
  return xml + "</" + root + ">\n";
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  ASSERT_TRUE(out.good()) << path;
}

// A fresh folder for one test's files.
std::string NewFolder() {
  static int made = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "varnox-dialogs-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

HKEY OpenSettingsKey() {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  return key;
}

}  // namespace

HINSTANCE AddinModule() {
  static HINSTANCE module = LoadLibraryA(VARNOX_ADDIN_DLL);
  return module;
}

ExplorerWindow::ExplorerWindow(int x, int y, int width, int height) {
  static const ATOM registered = [] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    window_class.lpszClassName = kExplorerClass;
    return RegisterClassW(&window_class);
  }();
  EXPECT_NE(registered, 0);
  window_ = CreateWindowExW(0, kExplorerClass, L"Inbox - Outlook", WS_OVERLAPPEDWINDOW, x, y, width,
                            height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(window_, nullptr);
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  Activate();
}

ExplorerWindow::~ExplorerWindow() {
  DestroyWindow(window_);
}

void ExplorerWindow::Activate() {
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
}

DialogWorld::DialogWorld(const std::vector<std::string>& black_entries,
                         const std::vector<std::string>& white_entries)
    : folder_(NewFolder()) {
  WriteFile(FilePath("black.xml"), ListFile("BlackList", black_entries));
  WriteFile(FilePath("white.xml"), ListFile("WhiteList", white_entries));
  RegDeleteTreeA(HKEY_CURRENT_USER, SettingsStore::kKeyPath);
  RegCloseKey(OpenSettingsKey());
  SetStringSetting(setting::kWordFilePath, FilePath("words.db"));
  SetStringSetting(setting::kIgnoreFilePath, FilePath("ignore.txt"));
  SetStringSetting(setting::kBlackListPath, FilePath("black.xml"));
  SetStringSetting(setting::kWhiteListPath, FilePath("white.xml"));
}

DialogWorld::~DialogWorld() {
  addin.reset();
  RegDeleteTreeA(HKEY_CURRENT_USER, SettingsStore::kKeyPath);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

CVNXAddin& DialogWorld::Connect() {
  addin = std::make_unique<CVNXAddin>(platform);
  EXPECT_EQ(addin->OnConnection(host.ApplicationRef()), kSOk);
  explorer.Activate();
  return *addin;
}

void DialogWorld::Click(std::string_view caption) {
  // The button, not the pop-up of the same name that holds it.
  FakeControl* control = nullptr;
  const auto* bar = host.FindBar("Varnox");
  ASSERT_NE(bar, nullptr);
  for (FakeControl* on_bar : bar->controls) {
    for (FakeControl* candidate : on_bar->controls)
      if (candidate->caption == caption && candidate->type == outlook::kMsoControlButton)
        control = candidate;
    if (on_bar->caption == caption && on_bar->type == outlook::kMsoControlButton)
      control = on_bar;
  }
  ASSERT_NE(control, nullptr) << caption;
  explorer.Activate();
  EXPECT_EQ(control->Click(), 1) << caption;
}

std::string DialogWorld::FilePath(std::string_view name) const {
  return folder_ + "\\" + std::string(name);
}

std::string DialogWorld::ReadFile(std::string_view name) const {
  std::ifstream in(FilePath(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string DialogWorld::StringSetting(const char* name) {
  char value[1024] = {};
  DWORD size = sizeof(value) - 1;
  DWORD type = 0;
  if (RegGetValueA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, name, RRF_RT_ANY, &type, value,
                   &size) != ERROR_SUCCESS) {
    return "<absent>";
  }
  return type == REG_SZ ? std::string(value) : "<not a string>";
}

std::string DialogWorld::DwordSetting(const char* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = 0;
  if (RegGetValueA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, name, RRF_RT_ANY, &type, &value,
                   &size) != ERROR_SUCCESS) {
    return "<absent>";
  }
  return type == REG_DWORD ? std::to_string(value) : "<not a DWORD>";
}

void DialogWorld::SetStringSetting(const char* name, const std::string& value) {
  HKEY key = OpenSettingsKey();
  EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void DialogWorld::SetDwordSetting(const char* name, DWORD value) {
  HKEY key = OpenSettingsKey();
  EXPECT_EQ(
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
      ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace varnox::win::testing

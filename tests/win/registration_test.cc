// regsvr32 and regsvr32 /u of the real DLL, and the registry they leave,
// key by key and value by value.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "tests/win/addin_dll.h"
#include "win/com/com_ids.h"

namespace varnox::win {
namespace {

constexpr char kClsid[] = "{A76A29A2-98E5-4EEB-9B7C-FE8F35AF0FF9}";
constexpr char kLibid[] = "{9AEE4E8A-B0FF-4D99-B681-D6B7EA1DD246}";
constexpr char kAddins[] = "Software\\Microsoft\\Office\\Outlook\\Addins";
constexpr char kAddinKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\VarnoxMail.VNXAddin";

// Runs regsvr32 silently; its exit code, or -1 when it could not be started.
// On a loaded machine Wine now and then fails to start a process at all,
// which says nothing of the DLL: such a start is tried again, and only then.
int Regsvr32(const std::wstring& arguments) {
  constexpr int kStarts = 3;
  for (int start = 1; start <= kStarts; ++start) {
    std::wstring command = L"regsvr32.exe /s " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
      WaitForSingleObject(process.hProcess, 60000);
      DWORD code = 1;
      GetExitCodeProcess(process.hProcess, &code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      return static_cast<int>(code);
    }
    std::printf("regsvr32 did not start (Windows error %lu), start %d of %d\n", GetLastError(),
                start, kStarts);
    Sleep(1000);
  }
  return -1;
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

std::optional<std::string> ReadString(HKEY root, const std::string& path, const char* name) {
  char buffer[2048];
  DWORD size = sizeof buffer;
  if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(buffer);
}

// A path as written, every character kept (the default value for `name`
// null).
std::optional<std::wstring> ReadPath(HKEY root, const std::string& path, const wchar_t* name) {
  wchar_t buffer[2048];
  DWORD size = sizeof buffer;
  const std::wstring wide_path(path.begin(), path.end());  // ASCII key names
  if (RegGetValueW(root, wide_path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(buffer);
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::wstring FullPath(const std::string& path) {
  wchar_t buffer[MAX_PATH * 4];
  const std::wstring wide(path.begin(), path.end());  // the build folder is ASCII
  DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 4, buffer, nullptr);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(buffer, length) : wide;
}

// Paths as registered may carry the long-path prefix "\\?\".
bool SamePath(std::wstring registered, const std::wstring& expected) {
  if (registered.rfind(L"\\\\?\\", 0) == 0)
    registered.erase(0, 4);
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, registered.c_str(), -1, expected.c_str(),
                        -1) == CSTR_EQUAL;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The type library's key for this build's pointer size.
#ifdef _WIN64
constexpr char kTypeLibKind[] = "win64";
#else
constexpr char kTypeLibKind[] = "win32";
#endif

// Where the module is registered from: the build folder (empty), or a copy
// in a temporary folder of this name (a user's name holds characters that
// code page 1252 cannot show, or a quote that the script must double).
class RegistrationTest : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    if (*GetParam() != L'\0') {
      wchar_t temp[MAX_PATH];
      ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
      folder_ = std::wstring(temp) + GetParam() + L" " + std::to_wstring(GetCurrentProcessId());
      CreateDirectoryW(folder_.c_str(), nullptr);
      module_ = folder_ + L"\\VarnoxMail.dll";
      ASSERT_TRUE(CopyFileW(FullPath(testing::AddinDllPath()).c_str(), module_.c_str(), FALSE));
    } else {
      module_ = FullPath(testing::AddinDllPath());
    }
    CleanUp();
  }
  void TearDown() override {
    CleanUp();
    if (!folder_.empty()) {
      DeleteFileW(module_.c_str());
      RemoveDirectoryW(folder_.c_str());
    }
  }
  void CleanUp() {
    Regsvr32(L"/u \"" + module_ + L"\"");
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kAddins) + "\\Other.Addin").c_str());
  }
  std::wstring Quoted() const { return L"\"" + module_ + L"\""; }

  std::wstring folder_;
  std::wstring module_;
};

TEST_P(RegistrationTest, WritesTheTableAndTakesItAwayAgain) {
  // Another add-in is listed, so the shared parent must stay.
  HKEY other = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kAddins) + "\\Other.Addin").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(other);

  ASSERT_EQ(Regsvr32(Quoted()), 0) << module_;
  const std::string cls = std::string("CLSID\\") + kClsid;
  struct Row {
    HKEY root;
    std::string key;
    const char* name;  // null: the default value
    std::string text;
  };
  const Row strings[] = {
      {HKEY_CLASSES_ROOT, "VarnoxMail.VNXAddin.1", nullptr, "VNXAddin Class"},
      {HKEY_CLASSES_ROOT, "VarnoxMail.VNXAddin.1\\CLSID", nullptr, kClsid},
      {HKEY_CLASSES_ROOT, "VarnoxMail.VNXAddin", nullptr, "VNXAddin Class"},
      {HKEY_CLASSES_ROOT, "VarnoxMail.VNXAddin\\CLSID", nullptr, kClsid},
      {HKEY_CLASSES_ROOT, "VarnoxMail.VNXAddin\\CurVer", nullptr, "VarnoxMail.VNXAddin.1"},
      {HKEY_CLASSES_ROOT, cls, nullptr, "VNXAddin Class"},
      {HKEY_CLASSES_ROOT, cls + "\\ProgID", nullptr, "VarnoxMail.VNXAddin.1"},
      {HKEY_CLASSES_ROOT, cls + "\\VersionIndependentProgID", nullptr, "VarnoxMail.VNXAddin"},
      {HKEY_CLASSES_ROOT, cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {HKEY_CLASSES_ROOT, cls + "\\TypeLib", nullptr, kLibid},
      {HKEY_CURRENT_USER, kAddinKey, "FriendlyName", "VarnoxMail"},
      {HKEY_CURRENT_USER, kAddinKey, "Description", "VarnoxMail"},
  };
  for (const Row& row : strings) {
    EXPECT_EQ(ReadString(row.root, row.key, row.name), row.text)
        << row.key << " " << (row.name ? row.name : "(default)");
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, cls + "\\Programmable"));
  std::optional<std::wstring> server =
      ReadPath(HKEY_CLASSES_ROOT, cls + "\\InprocServer32", nullptr);
  ASSERT_TRUE(server.has_value());
  EXPECT_TRUE(SamePath(*server, module_)) << "the server path is not the module's";
  EXPECT_TRUE(FileExists(*server)) << "the registered server file does not exist";
  const struct {
    const char* name;
    DWORD value;
  } dwords[] = {{"LoadBehavior", 3}, {"CommandLineSafe", 0}, {"RequireShutdownNotification", 1}};
  for (const auto& d : dwords)
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kAddinKey, d.name), d.value) << d.name;

  // The type library, registered under the module's path.
  std::optional<std::wstring> library =
      ReadPath(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid + "\\1.0\\409\\" + kTypeLibKind,
               nullptr);
  ASSERT_TRUE(library.has_value());
  EXPECT_TRUE(SamePath(*library, module_));

  // The host finds the class by its ProgID.
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(L"VarnoxMail.VNXAddin", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kClsidVnxAddin));
  Microsoft::WRL::ComPtr<IUnknown> addin;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(addin.GetAddressOf())),
            S_OK);
  Microsoft::WRL::ComPtr<IUnknown> extensibility;
  EXPECT_EQ(addin->QueryInterface(kIidIdtExtensibility2,
                                  reinterpret_cast<void**>(extensibility.GetAddressOf())),
            S_OK);
  extensibility.Reset();
  addin.Reset();
  CoFreeUnusedLibraries();

  ASSERT_EQ(Regsvr32(L"/u " + Quoted()), 0);
  for (const std::string& gone :
       {cls, std::string("VarnoxMail.VNXAddin.1"), std::string("VarnoxMail.VNXAddin"),
        std::string("TypeLib\\") + kLibid}) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << gone;
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddinKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID")) << "shared parent";
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kAddins)) << "another add-in is still listed";
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kAddins) + "\\Other.Addin"));
}

TEST_P(RegistrationTest, LastAddinTakesTheEmptyListWithIt) {
  ASSERT_EQ(Regsvr32(Quoted()), 0);
  ASSERT_EQ(Regsvr32(Quoted()), 0) << "registering again is fine";
  ASSERT_EQ(Regsvr32(L"/u " + Quoted()), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddins));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\Outlook"));
  EXPECT_EQ(Regsvr32(L"/u " + Quoted()), 0) << "unregistering what is gone is fine";
}

std::string ModulePathName(const ::testing::TestParamInfo<const wchar_t*>& info) {
  static const char* const kNames[] = {"BuildPath", "PathWithQuote", "CyrillicPath",
                                       "PathWithAccents"};
  return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(ModulePaths, RegistrationTest,
                         ::testing::Values(L"", L"Varnox O'Brien",
                                           L"Varnox \u0414\u043c\u0438\u0442\u0440\u0438\u0439",
                                           L"Varnox Zo\u00eb \u00d3 Briain"),
                         ModulePathName);

}  // namespace
}  // namespace varnox::win

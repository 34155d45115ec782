// regsvr32 and regsvr32 /u of the real DLL, and the registry they leave,
// key by key and value by value.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/win/addin_dll.h"
#include "win/com_ids.h"

namespace varnox::win {
namespace {

constexpr char kClsid[] = "{A76A29A2-98E5-4EEB-9B7C-FE8F35AF0FF9}";
constexpr char kLibid[] = "{9AEE4E8A-B0FF-4D99-B681-D6B7EA1DD246}";
constexpr char kAddins[] = "Software\\Microsoft\\Office\\Outlook\\Addins";
constexpr char kAddinKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\VarnoxMail.VNXAddin";

// Runs regsvr32 silently; its exit code, or -1 when it could not be run.
int Regsvr32(const std::string& arguments) {
  std::string command = "regsvr32.exe /s " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
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

std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

// Paths as registered may carry the long-path prefix "\\?\".
bool SamePath(std::string registered, const std::string& expected) {
  if (registered.rfind("\\\\?\\", 0) == 0)
    registered.erase(0, 4);
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, registered.c_str(), -1, expected.c_str(),
                        -1) == CSTR_EQUAL;
}

class RegistrationTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      // A copy of the module in a folder whose name holds a single quote.
      char temp[MAX_PATH];
      ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
      folder_ = std::string(temp) + "Varnox O'Brien " + std::to_string(GetCurrentProcessId());
      CreateDirectoryA(folder_.c_str(), nullptr);
      module_ = folder_ + "\\VarnoxMail.dll";
      ASSERT_TRUE(CopyFileA(testing::AddinDllPath().c_str(), module_.c_str(), FALSE));
    } else {
      module_ = FullPath(testing::AddinDllPath());
    }
    CleanUp();
  }
  void TearDown() override {
    CleanUp();
    if (!folder_.empty()) {
      DeleteFileA(module_.c_str());
      RemoveDirectoryA(folder_.c_str());
    }
  }
  void CleanUp() {
    Regsvr32("/u \"" + module_ + "\"");
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kAddins) + "\\Other.Addin").c_str());
  }
  std::string Quoted() const { return "\"" + module_ + "\""; }

  std::string folder_;
  std::string module_;
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
  std::optional<std::string> server =
      ReadString(HKEY_CLASSES_ROOT, cls + "\\InprocServer32", nullptr);
  ASSERT_TRUE(server.has_value());
  EXPECT_TRUE(SamePath(*server, module_)) << *server << " vs " << module_;
  if (GetParam()) {
    EXPECT_NE(server->find("O'Brien"), std::string::npos) << "the quote kept, single: " << *server;
  }
  const struct {
    const char* name;
    DWORD value;
  } dwords[] = {{"LoadBehavior", 3}, {"CommandLineSafe", 0}, {"RequireShutdownNotification", 1}};
  for (const auto& d : dwords)
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kAddinKey, d.name), d.value) << d.name;

  // The type library, registered under the module's path.
  std::optional<std::string> library = ReadString(
      HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid + "\\1.0\\409\\win64", nullptr);
  ASSERT_TRUE(library.has_value());
  EXPECT_TRUE(SamePath(*library, module_)) << *library;

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

  ASSERT_EQ(Regsvr32("/u " + Quoted()), 0);
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
  ASSERT_EQ(Regsvr32("/u " + Quoted()), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddins));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\Outlook"));
  EXPECT_EQ(Regsvr32("/u " + Quoted()), 0) << "unregistering what is gone is fine";
}

INSTANTIATE_TEST_SUITE_P(ModulePaths, RegistrationTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "PathWithQuote" : "BuildPath";
                         });

}  // namespace
}  // namespace varnox::win

// The registry seam over the real Win32 registry (Wine's, in the test
// prefix): the contract every registry keeps (registry_contract_test.cc).
#include "win/platform/win_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_store.h"
#include "tests/platform/registry_contract.h"

namespace varnox {
namespace {

using testing::RegistryContract;

// The settings key under HKEY_CURRENT_USER, removed before and after.
class WinRegistryUnderTest final : public testing::RegistryUnderTest {
 public:
  WinRegistryUnderTest() { DeleteKey(); }
  ~WinRegistryUnderTest() override { DeleteKey(); }

  Registry& registry() override { return registry_; }
  void CreateKey() override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  bool KeyExists() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  void SetRaw(std::string_view name, RegistryType type, std::string_view data) override {
    ASSERT_EQ(
        RegSetKeyValueA(HKEY_CURRENT_USER, SettingsStore::kKeyPath, std::string(name).c_str(),
                        static_cast<DWORD>(type), data.data(), static_cast<DWORD>(data.size())),
        ERROR_SUCCESS);
  }

 private:
  static void DeleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, SettingsStore::kKeyPath); }

  WinRegistry registry_;
};

std::unique_ptr<testing::RegistryUnderTest> MakeWinRegistry() {
  return std::make_unique<WinRegistryUnderTest>();
}
INSTANTIATE_TEST_SUITE_P(Win32, RegistryContract, ::testing::Values(&MakeWinRegistry),
                         testing::RegistryMakerName);

}  // namespace
}  // namespace varnox

#include "win/platform/win_registry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace varnox {
namespace {

class WinRegistryKey final : public RegistryKey {
 public:
  explicit WinRegistryKey(HKEY key) : key_(key) {}
  ~WinRegistryKey() override { RegCloseKey(key_); }
  WinRegistryKey(const WinRegistryKey&) = delete;
  WinRegistryKey& operator=(const WinRegistryKey&) = delete;

  std::int32_t QueryValue(std::string_view name, RegistryType* type, void* data,
                          std::uint32_t* size) override {
    const std::string value_name(name);
    DWORD stored_type = REG_NONE;
    if (data == nullptr) {
      DWORD needed = 0;
      LONG status =
          RegQueryValueExA(key_, value_name.c_str(), nullptr, &stored_type, nullptr, &needed);
      if (status == ERROR_SUCCESS) {
        *size = needed;
        if (type != nullptr)
          *type = static_cast<RegistryType>(stored_type);
      }
      return status;
    }
    // RegQueryValueExA leaves the buffer undefined when the data does not
    // fit; the seam promises the caller's buffer untouched, so read beside.
    std::vector<unsigned char> scratch(*size);
    DWORD got = *size;
    LONG status = RegQueryValueExA(key_, value_name.c_str(), nullptr, &stored_type,
                                   scratch.empty() ? nullptr : scratch.data(), &got);
    if (status == ERROR_SUCCESS && scratch.empty() && got > 0)
      status = ERROR_MORE_DATA;  // a null buffer asks only for the size
    *size = got;
    if (status != ERROR_SUCCESS)
      return status;
    std::copy(scratch.begin(), scratch.begin() + got, static_cast<unsigned char*>(data));
    if (type != nullptr)
      *type = static_cast<RegistryType>(stored_type);
    return ERROR_SUCCESS;
  }

  std::int32_t SetValue(std::string_view name, RegistryType type, const void* data,
                        std::uint32_t size) override {
    const std::string value_name(name);
    return RegSetValueExA(key_, value_name.c_str(), 0, static_cast<DWORD>(type),
                          static_cast<const BYTE*>(data), size);
  }

 private:
  HKEY key_;
};

}  // namespace

std::int32_t WinRegistry::OpenCurrentUserKey(std::string_view path,
                                             std::unique_ptr<RegistryKey>* key) {
  key->reset();
  const std::string key_path(path);
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, KEY_ALL_ACCESS, &opened);
  if (status != ERROR_SUCCESS)
    return status;
  *key = std::make_unique<WinRegistryKey>(opened);
  return ERROR_SUCCESS;
}

Registry& CurrentUserRegistry() {
  static WinRegistry registry;
  return registry;
}

}  // namespace varnox

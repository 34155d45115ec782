#include "win/com/win_registrar_target.h"

#include <windows.h>

#include "win/platform/wide_text.h"

namespace varnox::win {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
  }
  return HKEY_CURRENT_USER;
}

HResult FromWin32(LONG error) {
  return error == ERROR_SUCCESS ? kSOk : static_cast<HResult>(HRESULT_FROM_WIN32(error));
}

// An open key, closed on scope exit.
class OpenKey {
 public:
  OpenKey(RegistryRoot root, const std::string& path, REGSAM access) {
    status_ = RegOpenKeyExW(RootKey(root), WidenFromUtf8(path).c_str(), 0, access, &key_);
  }
  ~OpenKey() {
    if (status_ == ERROR_SUCCESS)
      RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  LONG status() const { return status_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LONG status_;
};

// Null for the key's default value.
class ValueName {
 public:
  explicit ValueName(const std::string& name) : name_(WidenFromUtf8(name)) {}
  const wchar_t* get() const { return name_.empty() ? nullptr : name_.c_str(); }

 private:
  std::wstring name_;
};

HResult SetValue(RegistryRoot root, const std::string& path, const std::string& name, DWORD type,
                 const void* data, DWORD size) {
  OpenKey key(root, path, KEY_SET_VALUE);
  if (key.status() != ERROR_SUCCESS)
    return FromWin32(key.status());
  return FromWin32(RegSetValueExW(key.get(), ValueName(name).get(), 0, type,
                                  static_cast<const BYTE*>(data), size));
}

}  // namespace

HResult WinRegistrarTarget::CreateKey(RegistryRoot root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(RootKey(root), WidenFromUtf8(path).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS)
    RegCloseKey(key);
  return FromWin32(status);
}

bool WinRegistrarTarget::KeyExists(RegistryRoot root, const std::string& path) {
  return OpenKey(root, path, KEY_READ).status() == ERROR_SUCCESS;
}

bool WinRegistrarTarget::HasSubkeys(RegistryRoot root, const std::string& path) {
  OpenKey key(root, path, KEY_READ);
  DWORD subkeys = 0;
  return key.status() == ERROR_SUCCESS &&
         RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

HResult WinRegistrarTarget::DeleteKey(RegistryRoot root, const std::string& path) {
  return FromWin32(RegDeleteKeyW(RootKey(root), WidenFromUtf8(path).c_str()));
}

HResult WinRegistrarTarget::DeleteTree(RegistryRoot root, const std::string& path) {
  const std::wstring wide_path = WidenFromUtf8(path);
  LONG status = RegDeleteTreeW(RootKey(root), wide_path.c_str());
  if (status != ERROR_SUCCESS)
    return FromWin32(status);
  // RegDeleteTreeW empties the key but may leave the key itself.
  status = RegDeleteKeyW(RootKey(root), wide_path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? kSOk : FromWin32(status);
}

HResult WinRegistrarTarget::SetString(RegistryRoot root, const std::string& path,
                                      const std::string& name, const std::string& text) {
  const std::wstring wide = WidenFromUtf8(text);
  return SetValue(root, path, name, REG_SZ, wide.c_str(),
                  static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

HResult WinRegistrarTarget::SetDword(RegistryRoot root, const std::string& path,
                                     const std::string& name, std::uint32_t number) {
  const DWORD data = number;
  return SetValue(root, path, name, REG_DWORD, &data, sizeof data);
}

HResult WinRegistrarTarget::DeleteValue(RegistryRoot root, const std::string& path,
                                        const std::string& name) {
  OpenKey key(root, path, KEY_SET_VALUE);
  if (key.status() != ERROR_SUCCESS)
    return FromWin32(key.status());
  return FromWin32(RegDeleteValueW(key.get(), ValueName(name).get()));
}

}  // namespace varnox::win

#include "settings/settings_store.h"

#include <cstring>
#include <memory>
#include <vector>

namespace varnox {
namespace {

std::int32_t OpenKey(Registry& registry, std::unique_ptr<RegistryKey>* key) {
  std::int32_t status = registry.OpenCurrentUserKey(SettingsStore::kKeyPath, key);
  if (status == kErrorSuccess && !*key)
    status = kErrorFileNotFound;
  return status;
}

}  // namespace

std::uint32_t SettingsStore::ReadDword(std::string_view name) const {
  std::unique_ptr<RegistryKey> key;
  if (OpenKey(registry_, &key) != kErrorSuccess)
    return 0;
  unsigned char data[4] = {0, 0, 0, 0};
  std::uint32_t size = sizeof data;
  // The type is not asked for: whatever is stored is read as a number.
  if (key->QueryValue(name, nullptr, data, &size) != kErrorSuccess)
    return 0;
  return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
         static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

bool SettingsStore::ReadString(std::string_view name, char* buffer, std::size_t size) const {
  if (buffer == nullptr || size == 0)
    return false;
  std::unique_ptr<RegistryKey> key;
  if (OpenKey(registry_, &key) != kErrorSuccess)
    return false;
  // Read into a scratch buffer so that a value that turns out not to fit
  // leaves the caller's buffer unchanged.
  std::vector<char> scratch(size);
  std::uint32_t got = static_cast<std::uint32_t>(size);
  if (key->QueryValue(name, nullptr, scratch.data(), &got) != kErrorSuccess)
    return false;
  if (got > size)
    return false;
  if (got == 0 || scratch[got - 1] != '\0') {
    // No stored terminator: it goes right after the bytes read, which must
    // still lie inside the buffer.
    if (got == size)
      return false;
    scratch[got] = '\0';
    ++got;
  }
  std::memcpy(buffer, scratch.data(), got);
  return true;
}

std::int32_t SettingsStore::WriteDword(std::string_view name, std::uint32_t value) {
  std::unique_ptr<RegistryKey> key;
  std::int32_t status = OpenKey(registry_, &key);
  if (status != kErrorSuccess)
    return status;
  const unsigned char data[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  key->SetValue(name, RegistryType::kDword, data, sizeof data);
  return kErrorSuccess;
}

std::int32_t SettingsStore::WriteString(std::string_view name, std::string_view text) {
  std::unique_ptr<RegistryKey> key;
  std::int32_t status = OpenKey(registry_, &key);
  if (status != kErrorSuccess)
    return status;
  std::string data(text);
  data.push_back('\0');  // REG_SZ counts its terminator
  key->SetValue(name, RegistryType::kString, data.data(), static_cast<std::uint32_t>(data.size()));
  return kErrorSuccess;
}

bool SettingsStore::ReadStringSetting(std::string_view name, std::string* text) const {
  char buffer[kStringBufferSize] = {};
  if (!ReadString(name, buffer, sizeof buffer))
    return false;
  // The stored text may hold a NUL of its own; the reader sees up to it, as a
  // C string reader on Windows would.
  *text = buffer;
  return true;
}

}  // namespace varnox

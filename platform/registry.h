// The registry seam: the current user's registry on Windows, a settings file
// on Linux. Only the settings store (settings/settings_store.h) uses it.
//
// Semantics follow the Win32 registry calls, so that the settings store's
// read rules (string length limits, terminators, DWORD sizes) behave the same
// on every host. Results are Win32 error codes: 0 is success.
#ifndef VARNOX_PLATFORM_REGISTRY_H_
#define VARNOX_PLATFORM_REGISTRY_H_

#include <cstdint>
#include <memory>
#include <string_view>

namespace varnox {

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidData = 13;
inline constexpr std::int32_t kErrorWriteFault = 29;
inline constexpr std::int32_t kErrorMoreData = 234;

// Value types, with the registry's numbers.
enum class RegistryType : std::uint32_t {
  kNone = 0,
  kString = 1,  // REG_SZ: narrow text, normally with its terminating NUL counted
  kBinary = 3,  // REG_BINARY
  kDword = 4,   // REG_DWORD: normally four bytes, little-endian
};

// An open key. Closing happens in the destructor.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // As RegQueryValueExA. On entry *size is the capacity of `data` in bytes;
  // on success it is the number of bytes stored and the bytes are copied.
  // Absent value: kErrorFileNotFound. Stored data longer than the capacity:
  // kErrorMoreData and nothing is copied. `type` may be null.
  virtual std::int32_t QueryValue(std::string_view name, RegistryType* type, void* data,
                                  std::uint32_t* size) = 0;

  // As RegSetValueExA: stores exactly `size` bytes of `data` with `type`,
  // replacing any value of that name. Non-zero when the value could not be
  // stored (on Linux: the settings file could not be replaced).
  virtual std::int32_t SetValue(std::string_view name, RegistryType type, const void* data,
                                std::uint32_t size) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens the existing key `path` (for example "Software\\Varnox MSOutlook")
  // under the current user with full access. Never creates it: an absent key
  // gives kErrorFileNotFound and *key stays null.
  virtual std::int32_t OpenCurrentUserKey(std::string_view path,
                                          std::unique_ptr<RegistryKey>* key) = 0;
};

}  // namespace varnox

#endif  // VARNOX_PLATFORM_REGISTRY_H_

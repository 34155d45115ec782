// A short, stable name for a path of any length, for files named after
// another file or folder (a store's journal, a word database's socket).
// FNV-1a, 64 bits: not a secret and not proof against a chosen collision;
// what it names is also checked or locked by other means.
#ifndef VARNOX_LINUX_CLI_PATH_FINGERPRINT_H_
#define VARNOX_LINUX_CLI_PATH_FINGERPRINT_H_

#include <cstdint>
#include <string_view>

namespace varnox::cli {

inline std::uint64_t Fingerprint(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_PATH_FINGERPRINT_H_

// A short, stable name for a text of any length: for files named after
// another file or folder (a store's journal, a word database's socket), and
// for a message's content (mime/content_key.h).
// FNV-1a, 64 bits: not a secret and not proof against a chosen collision;
// what it names is also checked or locked by other means.
#ifndef VARNOX_PLATFORM_FINGERPRINT_H_
#define VARNOX_PLATFORM_FINGERPRINT_H_

#include <cstdint>
#include <string_view>

namespace varnox {

// `hash` continues a fingerprint over more text: the fingerprint of A then B
// is Fingerprint(B, Fingerprint(A)).
inline std::uint64_t Fingerprint(std::string_view text,
                                 std::uint64_t hash = 14695981039346656037ull) {
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace varnox

#endif  // VARNOX_PLATFORM_FINGERPRINT_H_

// Reading eight bytes at any address as one number, in the machine's byte
// order: what the word keys' hashing and comparing work on.
#ifndef VARNOX_ENGINE_UNALIGNED_H_
#define VARNOX_ENGINE_UNALIGNED_H_

#include <cstdint>
#include <cstring>

namespace varnox {

inline std::uint64_t Load64(const unsigned char* bytes) {
  std::uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_UNALIGNED_H_

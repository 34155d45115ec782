// The index of the engine's small per-message key sets (WordCounts,
// TokenSet): open addressing with linear probing over the keys' hashes, each
// slot 0 when empty, else the key's position in its vector plus one.
#ifndef VARNOX_ENGINE_KEY_INDEX_H_
#define VARNOX_ENGINE_KEY_INDEX_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/word_table.h"

namespace varnox {

// Rebuilds `index` with `indexSize` slots (a power of two, more than
// keys.size()) for `keys`, and gives the shift that turns a key's hash into
// its first slot: 64 - log2(indexSize).
inline unsigned RebuildKeyIndex(const std::vector<WordKey>& keys, std::size_t indexSize,
                                std::vector<std::uint32_t>& index) {
  index.assign(indexSize, 0);
  const unsigned shift = 64 - static_cast<unsigned>(std::countr_zero(indexSize));
  const std::size_t mask = indexSize - 1;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::size_t slot = keys[i].hash() >> shift;
    while (index[slot] != 0)
      slot = (slot + 1) & mask;
    index[slot] = static_cast<std::uint32_t>(i + 1);
  }
  return shift;
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_KEY_INDEX_H_

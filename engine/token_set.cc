#include "engine/token_set.h"

#include <algorithm>
#include <cstring>

#include "engine/key_index.h"

namespace varnox {
namespace {

// Room for 64 tokens before growing: a message's headers and links give
// about 40 on the public corpus.
constexpr std::size_t kMinIndexSize = 128;
constexpr std::size_t kBlockSize = 2048;

}  // namespace

std::size_t TokenSet::Probe(const WordKey& key, bool* found) const {
  const std::size_t mask = index_.size() - 1;
  for (std::size_t slot = key.hash() >> shift_;; slot = (slot + 1) & mask) {
    const std::uint32_t held = index_[slot];
    if (held == 0) {
      *found = false;
      return slot;
    }
    if (keys_[held - 1] == key) {
      *found = true;
      return slot;
    }
  }
}

void TokenSet::Rehash(std::size_t indexSize) {
  shift_ = RebuildKeyIndex(keys_, indexSize, index_);
}

std::string_view TokenSet::Store(std::string_view token) {
  if (blocks_.empty() || blocks_[block_].size - used_ < token.size()) {
    // The next kept block when the token fits in it, else a new one there.
    const std::size_t next = blocks_.empty() ? 0 : block_ + 1;
    if (next == blocks_.size() || blocks_[next].size < token.size()) {
      const std::size_t size = std::max(kBlockSize, token.size());
      blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(next),
                     Block{std::unique_ptr<char[]>(new char[size]), size});
    }
    block_ = next;
    used_ = 0;
  }
  char* at = blocks_[block_].bytes.get() + used_;
  if (!token.empty())
    std::memcpy(at, token.data(), token.size());
  used_ += token.size();
  return std::string_view(at, token.size());
}

bool TokenSet::Add(std::string_view token) {
  if (index_.empty()) {
    keys_.reserve(kMinIndexSize / 2);
    Rehash(kMinIndexSize);
  }
  // Stored first, so that a long token's key refers to the set's own copy;
  // given back when the token was there already.
  const WordKey key(Store(token));
  bool found = false;
  const std::size_t slot = Probe(key, &found);
  if (found) {
    Unstore(token.size());
    return false;
  }
  keys_.push_back(key);
  index_[slot] = static_cast<std::uint32_t>(keys_.size());
  if (keys_.size() * 2 > index_.size())
    Rehash(index_.size() * 2);
  return true;
}

bool TokenSet::Contains(std::string_view token) const {
  if (index_.empty())
    return false;
  bool found = false;
  Probe(WordKey(token), &found);
  return found;
}

void TokenSet::clear() {
  keys_.clear();
  std::fill(index_.begin(), index_.end(), 0u);
  block_ = 0;
  used_ = 0;
}

}  // namespace varnox

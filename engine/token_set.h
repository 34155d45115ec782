// TokenSet: the distinct tokens of one message, each made a WordKey once as
// it arrives, so that the whole set can be looked up in any WordTable
// (FindMany) or learned into one without hashing a token again.
//
// A flat set for a few hundred tokens: the keys in arrival order, an
// open-addressing index of their positions (linear probing, at most half
// full), and the tokens' bytes copied into blocks the set owns, so that the
// key of a long token stays valid as long as the set. clear() keeps all of
// that memory for the next message.
#ifndef VARNOX_ENGINE_TOKEN_SET_H_
#define VARNOX_ENGINE_TOKEN_SET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/word_table.h"

namespace varnox {

class TokenSet {
 public:
  // Adds `token` unless it is there already; true when added. Throws
  // std::bad_alloc when memory runs out.
  bool Add(std::string_view token);
  bool Contains(std::string_view token) const;

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  // In the order the tokens were first added; key.word() is the token.
  const std::vector<WordKey>& keys() const { return keys_; }

  // Forgets every token, keeping the memory.
  void clear();

 private:
  // Index slot holding `key`, or the empty slot where it would go.
  std::size_t Probe(const WordKey& key, bool* found) const;
  void Rehash(std::size_t indexSize);
  // A copy of `token` in the set's blocks; Unstore gives back the last one.
  std::string_view Store(std::string_view token);
  void Unstore(std::size_t bytes) { used_ -= bytes; }

  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size;
  };

  std::vector<WordKey> keys_;
  std::vector<std::uint32_t> index_;  // 0 empty, else position in keys_ + 1
  unsigned shift_ = 64;               // 64 - log2(index_.size())
  std::vector<Block> blocks_;
  std::size_t block_ = 0;  // the block being filled
  std::size_t used_ = 0;   // bytes used of it
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_TOKEN_SET_H_

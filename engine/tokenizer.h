// The tokenizer: the byte classes of code page 1252 text and the word pass
// that turns a text into the words the filter counts (at most 15 bytes,
// lower case, leading bytes other than letters, digits and "$" stripped).
//
// The rules are defined as two passes over a copy of the text: a character
// pass that turns every byte which cannot belong to a word into a space
// (with a rule for points and commas in numbers), then a word pass over the
// space-separated pieces. Here both run as one pass over the caller's text:
// the only time the character pass changes an earlier byte is when a letter
// follows a kept point or comma, and then the byte just before the letter
// becomes a space, which simply ends the piece there.
#ifndef VARNOX_ENGINE_TOKENIZER_H_
#define VARNOX_ENGINE_TOKENIZER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/word_table.h"

namespace varnox {

class IgnoreList;

// The words of one text with their number of occurrences, in the order they
// first appeared: what the tokenizer gathers before anything else sees it.
// A small table of its own, since a message's few hundred words are counted
// far more often than they are looked up anywhere else.
class WordCounts {
 public:
  // Room for about `expectedWords` words before it grows; none allocated
  // for 0.
  explicit WordCounts(std::size_t expectedWords = 0);

  // One more occurrence of the word of `key` (held at INT32_MAX).
  void Add(const WordKey& key) {
    if (index_.empty())
      Rehash(16);
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = key.hash() >> shift_;
    for (;; slot = (slot + 1) & mask) {
      const std::uint32_t held = index_[slot];
      if (held == 0)
        break;
      if (keys_[held - 1] == key) {
        std::int32_t& count = counts_[held - 1];
        // A text long enough to overflow would need 2 GiB of one word.
        if (count < INT32_MAX)
          ++count;
        return;
      }
    }
    AddNew(key, slot);
  }
  // Drops every word for which keep(key) is false.
  template <class Keep>
  void Filter(Keep&& keep);

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  // Keys of inline words refer to their own bytes: a view of key.word()
  // lasts as long as these counts.
  const std::vector<WordKey>& keys() const { return keys_; }
  std::int32_t occurrences(std::size_t i) const { return counts_[i]; }

  // Adds every word to `map` as a message word map: both counts grow by the
  // word's occurrences. Quickest into an empty map.
  void AddTo(WordTable& map) const;

 private:
  void Rehash(std::size_t indexSize);
  // Adds a word not counted yet; `slot` is the empty slot its probe ended on.
  void AddNew(const WordKey& key, std::size_t slot);

  std::vector<WordKey> keys_;
  std::vector<std::int32_t> counts_;
  // Open addressing with linear probing: 0 empty, else position + 1. At
  // most half full.
  std::vector<std::uint32_t> index_;
  unsigned shift_ = 0;  // hash bits that pick a slot: 64 - log2(index_.size())
};

class Tokenizer {
 public:
  static constexpr std::uint32_t kMinWordLength = 3;
  static constexpr std::uint32_t kMaxWordLength = 15;

  // Byte classes of the character pass.
  enum Kind : unsigned char {
    kSeparator,    // becomes a space
    kLetter,       // alphanumeric and alphabetic
    kDigit,        // alphanumeric, not alphabetic
    kPlusSlashEq,  // "+/=": kept, but spoils the piece
    kKept,         // "$!'-_": kept
    kPoint,        // ",.": kept after a digit, else a separator
  };
  static Kind KindOf(unsigned char byte);

  // `ignored` (optional) names words never counted; it must outlive the
  // tokenizer and stay unchanged while it counts.
  explicit Tokenizer(const IgnoreList* ignored = nullptr) : ignored_(ignored) {}

  // The countable words of `text`. Throws std::bad_alloc when memory runs
  // out.
  WordCounts Count(std::string_view text) const;
  // The same, or none at all when memory runs out: for want of memory a
  // text yields no words.
  WordCounts CountOrNone(std::string_view text) const noexcept;

 private:
  const IgnoreList* ignored_;
};

template <class Keep>
void WordCounts::Filter(Keep&& keep) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keep(keys_[i])) {
      keys_[kept] = keys_[i];
      counts_[kept] = counts_[i];
      ++kept;
    }
  }
  if (kept == keys_.size())
    return;
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(kept), keys_.end());
  counts_.resize(kept);
  Rehash(index_.size());
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_TOKENIZER_H_

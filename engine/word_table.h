// WordTable: a map from word (bytes) to WordEntry, walked in ascending
// byte-wise order of the word (bytes compared as unsigned values, a prefix
// before the longer word). The learned statistics, a message's word map and a
// score's selection are all WordTables.
//
// Layout, chosen for a million-word table: entries live in one array of
// 32-byte records (a word of up to 15 bytes is stored inside its record,
// longer words in a side buffer), found through an open-addressing index of
// 32-bit positions. The array keeps a sorted front part; words inserted later
// form a tail that an ordered walk sorts on the fly (a loaded file arrives
// sorted, so it fills the front part as it loads). About 41 bytes per word.
//
// Not thread-safe: the owner serialises access (the engine holds its lock).
#ifndef VARNOX_ENGINE_WORD_TABLE_H_
#define VARNOX_ENGINE_WORD_TABLE_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/word_entry.h"

namespace varnox {
namespace word_table_internal {

// The longest word held inside its key (and its table record).
inline constexpr std::size_t kInlineMax = 15;
// An index slot holds a record's position + 1 above this many bits of its
// hash, which bounds the number of records.
inline constexpr unsigned kTagBits = 5;
inline constexpr std::size_t kMaxEntries = (std::size_t{1} << (32 - kTagBits)) - 2;

// The hash of a word's 16 key bytes (two little-endian halves).
inline std::uint64_t Mix(std::uint64_t lo, std::uint64_t hi) {
  std::uint64_t h = lo * 0x9E3779B97F4A7C15ull;
  h ^= std::rotl(hi * 0xC2B2AE3D27D4EB4Full, 31);
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ull;
  h ^= h >> 29;
  return h;
}

}  // namespace word_table_internal

// A word made ready for lookups in any WordTable: its key bytes and hash are
// computed once. For a word longer than 15 bytes the key refers to the
// caller's bytes, which must outlive it.
class WordKey {
 public:
  explicit WordKey(std::string_view word);
  // The same for a word of at most 15 bytes without a NUL, given as its
  // bytes in two little-endian halves, zero beyond the word (for the
  // tokenizer, which builds words in registers).
  WordKey(std::uint64_t low, std::uint64_t high, std::size_t length) {
    high |= static_cast<std::uint64_t>(length) << 56;  // the length is the last byte
    std::memcpy(bytes_, &low, sizeof low);
    std::memcpy(bytes_ + 8, &high, sizeof high);
    hash_ = word_table_internal::Mix(low, high);
  }
  // Copied as two 8-byte halves: a key is mostly built from its halves just
  // before it is copied, and one 16-byte read of two fresh 8-byte writes
  // waits for both to reach the cache.
  WordKey(const WordKey& other) noexcept : long_word_(other.long_word_), hash_(other.hash_) {
    CopyBytes(other);
  }
  WordKey& operator=(const WordKey& other) noexcept {
    CopyBytes(other);
    long_word_ = other.long_word_;
    hash_ = other.hash_;
    return *this;
  }

  std::string_view word() const;
  std::uint64_t hash() const { return hash_; }

  // Byte-wise order of the words (unsigned bytes, a prefix first).
  friend bool operator<(const WordKey& a, const WordKey& b);
  // The same word.
  friend bool operator==(const WordKey& a, const WordKey& b) {
    std::uint64_t a_bytes[2];
    std::uint64_t b_bytes[2];
    std::memcpy(a_bytes, a.bytes_, sizeof a_bytes);
    std::memcpy(b_bytes, b.bytes_, sizeof b_bytes);
    // Inline keys are canonical; two long keys share their mark.
    return a_bytes[0] == b_bytes[0] && a_bytes[1] == b_bytes[1] &&
           (a.bytes_[15] <= 15 || a.long_word_ == b.long_word_);
  }

 private:
  friend class WordTable;
  void CopyBytes(const WordKey& other) {
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, other.bytes_, sizeof low);
    std::memcpy(&high, other.bytes_ + 8, sizeof high);
    std::memcpy(bytes_, &low, sizeof low);
    std::memcpy(bytes_ + 8, &high, sizeof high);
  }

  // Words of up to 15 bytes without a NUL: the bytes, zero padding, and the
  // length in the last byte. Longer words: the first 8 bytes and a mark.
  alignas(8) unsigned char bytes_[16];
  std::string_view long_word_;
  std::uint64_t hash_;
};

class WordTable {
 public:
  struct Item {
    std::string_view word;
    WordEntry& entry;
  };
  struct ConstItem {
    std::string_view word;
    const WordEntry& entry;
  };

  // Ordered iterator. Inserting or erasing invalidates it; entries may be
  // changed through it. The word views stay valid until the table changes.
  template <bool kConst>
  class Iterator {
   public:
    using Table = std::conditional_t<kConst, const WordTable, WordTable>;
    using value_type = std::conditional_t<kConst, ConstItem, Item>;
    using difference_type = std::ptrdiff_t;

    Iterator() = default;
    value_type operator*() const;
    Iterator& operator++() {
      ++pos_;
      return *this;
    }
    void operator++(int) { ++pos_; }
    bool operator==(std::default_sentinel_t) const { return pos_ == count_; }

   private:
    friend class WordTable;
    Iterator(Table* table, std::shared_ptr<const std::vector<std::uint32_t>> order,
             std::size_t count)
        : table_(table), order_(std::move(order)), count_(count) {}

    Table* table_ = nullptr;
    // Positions in word order; null when the entry array is in order already.
    std::shared_ptr<const std::vector<std::uint32_t>> order_;
    std::size_t pos_ = 0;
    std::size_t count_ = 0;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;

  WordTable();

  std::size_t size() const { return entries_.size() - dead_; }
  bool empty() const { return size() == 0; }
  // Removes every word and gives back the memory.
  void clear();
  // Makes room for `words` entries without growing again.
  void reserve(std::size_t words);
  // Gives back room reserved beyond the present entries.
  void shrink_to_fit();

  // The entry of `word`, or null. Pointers stay valid until the next insert,
  // erase, clear or Compact.
  WordEntry* Find(std::string_view word) { return Find(WordKey(word)); }
  const WordEntry* Find(std::string_view word) const { return Find(WordKey(word)); }
  WordEntry* Find(const WordKey& key);
  const WordEntry* Find(const WordKey& key) const;
  bool Contains(std::string_view word) const { return Find(word) != nullptr; }

  // found[i] = the entry of keys[i], or null. Same answers as Find, quicker
  // on a large table because the memory reads of many words overlap.
  void FindMany(const WordKey* keys, std::size_t count, const WordEntry** found) const;

  // Inserts `word` with `entry` unless the word is there already. Returns its
  // entry and whether it was inserted. Throws std::bad_alloc when memory runs
  // out, and beyond 2^27 - 2 entries or 4 GiB of long words.
  std::pair<WordEntry*, bool> Insert(std::string_view word, const WordEntry& entry = WordEntry{}) {
    return Insert(WordKey(word), entry);
  }
  std::pair<WordEntry*, bool> Insert(const WordKey& key, const WordEntry& entry = WordEntry{});
  // Inserts a word known not to be in the table, without looking for it
  // (words counted elsewhere). The index takes it at the next lookup, an
  // ordered walk sorts it in. Throws as Insert. Inline: filling a message's
  // word map is little else.
  void InsertNew(const WordKey& key, const WordEntry& entry) {
    if (key.bytes_[15] > word_table_internal::kInlineMax ||
        entries_.size() >= word_table_internal::kMaxEntries ||
        entries_.size() == entries_.capacity() || size() + 1 > index_.size() / 4 * 3) [[unlikely]] {
      InsertNewSlowly(key, entry);
      return;
    }
    Record& record = entries_.emplace_back();
    std::memcpy(record.key, key.bytes_, sizeof record.key);
    // Field by field: a caller's entry is mostly a temporary just written in
    // parts, and one wide read of it would stall on those narrower writes.
    record.value.spamCount = entry.spamCount;
    record.value.cleanCount = entry.cleanCount;
    record.value.probability = entry.probability;
    record.value.lastSeen = entry.lastSeen;
  }
  WordEntry& operator[](std::string_view word) { return *Insert(word).first; }
  // False when the word was not there.
  bool Erase(std::string_view word);

  // Ascending byte-wise order of the word.
  iterator begin() { return iterator(this, OrderIfNeeded(), size()); }
  const_iterator begin() const { return const_iterator(this, OrderIfNeeded(), size()); }
  std::default_sentinel_t end() const { return {}; }

  // Visits every entry once, in no particular order: fn(word, entry).
  template <class Fn>
  void ForEachUnordered(Fn&& fn);
  template <class Fn>
  void ForEachUnordered(Fn&& fn) const;

  // Appends the word and the key of every entry, in no particular order.
  void CollectKeys(std::vector<std::string_view>* words, std::vector<WordKey>* keys) const;

  // Visits every entry once, in no particular order; fn(word, entry) may
  // change the entry and returns false to remove it. Allocates nothing but
  // the compaction afterwards, which is skipped when memory is short.
  template <class Fn>
  void Rewrite(Fn&& fn);

  // Stores the entries in word order without the room of erased ones, so
  // ordered walks need no sorting. Invalidates entry pointers.
  void Compact();

  // Words inserted in ascending order (a loaded file) are appended without
  // probing the index, since none of them can be there already; they are
  // entered into it all at once, here or at the next lookup, so that the
  // index's cache misses overlap instead of following one another.
  void IndexAppended() const;

  // Bytes of memory reserved by the table (its arrays' capacities).
  std::size_t MemoryBytes() const;

  // Same words with equal entries.
  friend bool operator==(const WordTable& a, const WordTable& b);

 private:
  struct Record {
    alignas(8) unsigned char key[16];
    WordEntry value;
  };
  static_assert(sizeof(Record) == 32);
  // Last key byte: 0..15 the length of an inline word, 0xFF for a long
  // word, this mark for an erased record.
  static constexpr unsigned char kDeadMark = 0xFE;

  std::string_view WordOf(const Record& record) const;
  std::uint64_t HashOf(const Record& record) const;
  bool Matches(const Record& record, const WordKey& key) const;
  bool Less(const Record& a, const Record& b) const;
  bool IsLive(const Record& record) const;
  // True when `key` sorts after every word of the table, so it is not there.
  bool SortsAfterAll(const WordKey& key) const;
  Record MakeRecord(const WordKey& key, const WordEntry& entry);
  void InsertNewSlowly(const WordKey& key, const WordEntry& entry);
  // Index slot holding `key`, or the empty slot where it would go.
  std::size_t Probe(const WordKey& key, bool* found) const;
  void Rehash(std::size_t index_size);
  void FillIndex();  // index_ is all empty; enters every live record
  // Enters the live records at positions [first, entries_.size()) into the
  // index, which holds none of them and has room for them.
  void IndexFrom(std::size_t first) const;
  void RemoveFromIndex(std::size_t slot);
  // Erases the record at `position`.
  void Drop(std::size_t position);
  void CompactIfPossible() noexcept;
  std::vector<std::uint32_t> OrderedPositions() const;
  std::shared_ptr<const std::vector<std::uint32_t>> OrderIfNeeded() const;
  bool InOrder() const { return dead_ == 0 && sorted_ == entries_.size(); }

  std::vector<Record> entries_;
  // Open addressing with linear probing: 0 = empty, else position + 1 in
  // entries_ above 5 bits of the word's hash. Its size is a power of two and
  // at most 3/4 of it is used. Records from position indexed_ on are not
  // entered yet (IndexAppended); the index changes under const lookups only
  // to enter them, which the owner's serialisation covers too.
  mutable std::vector<std::uint32_t> index_;
  mutable std::size_t indexed_ = 0;
  unsigned shift_ = 0;  // 64 - log2(index_.size()): hash bits that pick a slot
  // Words longer than 15 bytes (or holding a NUL): 32-bit length, then bytes.
  std::string long_words_;
  std::size_t dead_ = 0;    // erased records still in entries_
  std::size_t sorted_ = 0;  // entries_[0, sorted_) ascending, erased ones aside
};

template <bool kConst>
typename WordTable::Iterator<kConst>::value_type WordTable::Iterator<kConst>::operator*() const {
  const std::size_t position = order_ ? (*order_)[pos_] : pos_;
  auto& record = table_->entries_[position];
  return value_type{table_->WordOf(record), record.value};
}

template <class Fn>
void WordTable::ForEachUnordered(Fn&& fn) {
  for (Record& record : entries_) {
    if (IsLive(record))
      fn(WordOf(record), record.value);
  }
}

template <class Fn>
void WordTable::ForEachUnordered(Fn&& fn) const {
  for (const Record& record : entries_) {
    if (IsLive(record))
      fn(WordOf(record), record.value);
  }
}

template <class Fn>
void WordTable::Rewrite(Fn&& fn) {
  IndexAppended();  // Drop finds records through the index
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Record& record = entries_[i];
    if (IsLive(record) && !fn(WordOf(record), record.value))
      Drop(i);
  }
  CompactIfPossible();
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_TABLE_H_

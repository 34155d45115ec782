#include "engine/word_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "engine/unaligned.h"

namespace varnox {
namespace {

static_assert(std::endian::native == std::endian::little,
              "word keys are compared as big-endian loads on a little-endian host");

using word_table_internal::kInlineMax;
constexpr unsigned char kLongMark = 0xFF;
constexpr std::size_t kMinIndexSize = 16;

// An index slot holds the record's position + 1 above a few bits of its
// hash, so that most probes that meet another word are settled without
// reading its record (a cache miss in a large table). 0 is an empty slot.
using word_table_internal::kMaxEntries;
using word_table_internal::kTagBits;
constexpr std::uint32_t kTagMask = (1u << kTagBits) - 1;

std::uint32_t SlotValue(std::size_t position, std::uint64_t hash) {
  return static_cast<std::uint32_t>((position + 1) << kTagBits) |
         (static_cast<std::uint32_t>(hash) & kTagMask);
}

std::size_t PositionIn(std::uint32_t slot_value) {
  return (slot_value >> kTagBits) - 1;
}

bool TagMatches(std::uint32_t slot_value, std::uint64_t hash) {
  return ((slot_value ^ static_cast<std::uint32_t>(hash)) & kTagMask) == 0;
}

// The 8 bytes as a big-endian number: comparing these numbers compares the
// bytes as unsigned values, first byte first.
std::uint64_t LoadOrdered(const unsigned char* p) {
  return __builtin_bswap64(Load64(p));
}

// Byte-wise order of two words given by their 16 key bytes (a record's or a
// WordKey's). Inline words are settled by the bytes alone; a long word's
// whole text is asked for (word_a(), word_b()) only when the first 8 bytes
// tie. std::char_traits<char> compares as unsigned char.
template <class WordA, class WordB>
bool KeyLess(const unsigned char* a, const unsigned char* b, WordA word_a, WordB word_b) {
  const std::uint64_t a0 = LoadOrdered(a);
  const std::uint64_t b0 = LoadOrdered(b);
  if (a0 != b0)
    return a0 < b0;
  if (a[15] <= kInlineMax && b[15] <= kInlineMax)
    return LoadOrdered(a + 8) < LoadOrdered(b + 8);
  return word_a() < word_b();
}

using word_table_internal::Mix;

std::uint64_t HashLongWord(std::string_view word) {
  std::uint64_t h = 0xCBF29CE484222325ull ^ word.size();
  std::size_t i = 0;
  for (; i + 8 <= word.size(); i += 8)
    h = Mix(h, Load64(reinterpret_cast<const unsigned char*>(word.data() + i)));
  unsigned char rest[8] = {};
  std::memcpy(rest, word.data() + i, word.size() - i);
  return Mix(h, Load64(rest) ^ 0x5bd1e995u);
}

// Inline keys are canonical: a word is stored inline exactly when it fits in
// 15 bytes and holds no NUL (so zero padding cannot be confused with bytes).
bool FitsInline(std::string_view word) {
  if (word.size() > kInlineMax)
    return false;
  for (char c : word) {
    if (c == '\0')
      return false;
  }
  return true;
}

std::size_t IndexSizeFor(std::size_t words) {
  std::size_t size = kMinIndexSize;
  while (size / 4 * 3 < words + 1)
    size *= 2;
  return size;
}

}  // namespace

WordKey::WordKey(std::string_view word) {
  std::uint64_t halves[2] = {0, 0};
  if (FitsInline(word)) {
    std::memcpy(halves, word.data(), word.size());
    std::memcpy(bytes_, halves, sizeof bytes_);
    bytes_[15] = static_cast<unsigned char>(word.size());
    hash_ = Mix(Load64(bytes_), Load64(bytes_ + 8));
  } else {
    std::memcpy(halves, word.data(), std::min<std::size_t>(word.size(), 8));
    std::memcpy(bytes_, halves, sizeof bytes_);
    bytes_[15] = kLongMark;
    long_word_ = word;
    hash_ = HashLongWord(word);
  }
}

std::string_view WordKey::word() const {
  if (bytes_[15] <= kInlineMax)
    return std::string_view(reinterpret_cast<const char*>(bytes_), bytes_[15]);
  return long_word_;
}

bool operator<(const WordKey& a, const WordKey& b) {
  return KeyLess(
      a.bytes_, b.bytes_, [&] { return a.word(); }, [&] { return b.word(); });
}

WordTable::WordTable() {
  Rehash(kMinIndexSize);
}

void WordTable::clear() {
  std::vector<Record>().swap(entries_);
  std::string().swap(long_words_);
  dead_ = 0;
  sorted_ = 0;
  std::vector<std::uint32_t>().swap(index_);
  Rehash(kMinIndexSize);
}

void WordTable::reserve(std::size_t words) {
  entries_.reserve(words);
  if (IndexSizeFor(words) > index_.size())
    Rehash(IndexSizeFor(words));
}

void WordTable::shrink_to_fit() {
  entries_.shrink_to_fit();
  if (IndexSizeFor(size()) < index_.size())
    Rehash(IndexSizeFor(size()));
}

bool WordTable::IsLive(const Record& record) const {
  return record.key[15] != kDeadMark;
}

std::string_view WordTable::WordOf(const Record& record) const {
  if (record.key[15] <= kInlineMax)
    return std::string_view(reinterpret_cast<const char*>(record.key), record.key[15]);
  std::uint32_t offset;
  std::uint32_t length;
  std::memcpy(&offset, record.key + 8, sizeof offset);
  std::memcpy(&length, long_words_.data() + offset, sizeof length);
  return std::string_view(long_words_.data() + offset + sizeof length, length);
}

std::uint64_t WordTable::HashOf(const Record& record) const {
  if (record.key[15] <= kInlineMax)
    return Mix(Load64(record.key), Load64(record.key + 8));
  return HashLongWord(WordOf(record));
}

bool WordTable::Matches(const Record& record, const WordKey& key) const {
  if (key.bytes_[15] <= kInlineMax) {
    return Load64(record.key) == Load64(key.bytes_) &&
           Load64(record.key + 8) == Load64(key.bytes_ + 8);
  }
  return record.key[15] == kLongMark && WordOf(record) == key.long_word_;
}

bool WordTable::Less(const Record& a, const Record& b) const {
  return KeyLess(
      a.key, b.key, [&] { return WordOf(a); }, [&] { return WordOf(b); });
}

// Inlined into the lookups: it is the whole cost of most of them.
[[gnu::always_inline]] inline std::size_t WordTable::Probe(const WordKey& key, bool* found) const {
  IndexAppended();
  const std::size_t mask = index_.size() - 1;
  for (std::size_t slot = key.hash_ >> shift_;; slot = (slot + 1) & mask) {
    const std::uint32_t held = index_[slot];
    if (held == 0) {
      *found = false;
      return slot;
    }
    if (TagMatches(held, key.hash_) && Matches(entries_[PositionIn(held)], key)) {
      *found = true;
      return slot;
    }
  }
}

WordEntry* WordTable::Find(const WordKey& key) {
  bool found;
  const std::size_t slot = Probe(key, &found);
  return found ? &entries_[PositionIn(index_[slot])].value : nullptr;
}

const WordEntry* WordTable::Find(const WordKey& key) const {
  bool found;
  const std::size_t slot = Probe(key, &found);
  return found ? &entries_[PositionIn(index_[slot])].value : nullptr;
}

void WordTable::FindMany(const WordKey* keys, std::size_t count, const WordEntry** found) const {
  // Three passes over a batch: touch the index slots, then the records they
  // name, then compare. Each pass only starts memory reads, so the cache
  // misses of a whole batch overlap instead of following one another.
  IndexAppended();
  constexpr std::size_t kBatch = 32;
  for (std::size_t first = 0; first < count; first += kBatch) {
    const std::size_t last = std::min(count, first + kBatch);
    for (std::size_t i = first; i < last; ++i)
      __builtin_prefetch(&index_[keys[i].hash_ >> shift_]);
    for (std::size_t i = first; i < last; ++i) {
      const std::uint32_t held = index_[keys[i].hash_ >> shift_];
      if (held != 0 && TagMatches(held, keys[i].hash_))
        __builtin_prefetch(&entries_[PositionIn(held)]);
    }
    for (std::size_t i = first; i < last; ++i)
      found[i] = Find(keys[i]);
  }
}

void WordTable::CollectKeys(std::vector<std::string_view>* words,
                            std::vector<WordKey>* keys) const {
  for (const Record& record : entries_) {
    if (!IsLive(record))
      continue;
    const std::string_view word = WordOf(record);
    words->push_back(word);
    if (record.key[15] <= kInlineMax) {
      keys->emplace_back(Load64(record.key), Load64(record.key + 8) & 0x00FFFFFFFFFFFFFFull,
                         word.size());
    } else {
      keys->emplace_back(word);
    }
  }
}

bool WordTable::SortsAfterAll(const WordKey& key) const {
  if (sorted_ != entries_.size())
    return false;
  if (entries_.empty())
    return true;
  // The front part is ascending, so its last record is the greatest word.
  const Record& last = entries_.back();
  if (!IsLive(last))
    return false;
  return KeyLess(
      last.key, key.bytes_, [&] { return WordOf(last); }, [&] { return key.word(); });
}

WordTable::Record WordTable::MakeRecord(const WordKey& key, const WordEntry& entry) {
  Record record;
  std::memcpy(record.key, key.bytes_, sizeof record.key);
  record.value = entry;
  if (key.bytes_[15] == kLongMark) [[unlikely]] {
    const std::string_view word = key.long_word_;
    if (long_words_.size() + sizeof(std::uint32_t) + word.size() >
        std::numeric_limits<std::uint32_t>::max()) {
      throw std::bad_alloc();
    }
    const auto offset = static_cast<std::uint32_t>(long_words_.size());
    const auto length = static_cast<std::uint32_t>(word.size());
    long_words_.append(reinterpret_cast<const char*>(&length), sizeof length);
    long_words_.append(word);
    std::memcpy(record.key + 8, &offset, sizeof offset);
  }
  return record;
}

std::pair<WordEntry*, bool> WordTable::Insert(const WordKey& key, const WordEntry& entry) {
  if (SortsAfterAll(key)) {
    // New for certain: appended to the ordered part, indexed later.
    if (entries_.size() >= kMaxEntries)
      throw std::bad_alloc();
    if (size() + 1 > index_.size() / 4 * 3)
      Rehash(IndexSizeFor(size() + 1));
    entries_.push_back(MakeRecord(key, entry));
    sorted_ = entries_.size();
    return {&entries_.back().value, true};
  }

  bool found;
  std::size_t slot = Probe(key, &found);
  if (found)
    return {&entries_[PositionIn(index_[slot])].value, false};

  if (entries_.size() >= kMaxEntries)
    throw std::bad_alloc();
  if (size() + 1 > index_.size() / 4 * 3) {
    Rehash(IndexSizeFor(size() + 1));
    slot = Probe(key, &found);
  }
  // The word sorts before some word of the table: the unordered tail.
  entries_.push_back(MakeRecord(key, entry));
  indexed_ = entries_.size();
  index_[slot] = SlotValue(entries_.size() - 1, key.hash_);
  return {&entries_.back().value, true};
}

void WordTable::InsertNewSlowly(const WordKey& key, const WordEntry& entry) {
  if (entries_.size() >= kMaxEntries)
    throw std::bad_alloc();
  if (size() + 1 > index_.size() / 4 * 3)
    Rehash(IndexSizeFor(size() + 1));
  // Joins the unordered tail: an ordered walk sorts it when it comes.
  entries_.push_back(MakeRecord(key, entry));
}

bool WordTable::Erase(std::string_view word) {
  bool found;
  const std::size_t slot = Probe(WordKey(word), &found);
  if (!found)
    return false;
  Drop(PositionIn(index_[slot]));
  if (dead_ > 64 && dead_ > entries_.size() / 2)
    CompactIfPossible();
  return true;
}

void WordTable::Drop(std::size_t position) {
  IndexAppended();
  Record& record = entries_[position];
  const std::size_t mask = index_.size() - 1;
  std::size_t slot = HashOf(record) >> shift_;
  while (index_[slot] == 0 || PositionIn(index_[slot]) != position)
    slot = (slot + 1) & mask;
  RemoveFromIndex(slot);
  record.key[15] = kDeadMark;
  record.value = WordEntry{};
  ++dead_;
}

void WordTable::CompactIfPossible() noexcept {
  try {
    Compact();
  } catch (const std::bad_alloc&) {
    // Erased records keep their room until the next compaction.
  }
}

// Backward-shift deletion keeps every probe chain unbroken without markers.
void WordTable::RemoveFromIndex(std::size_t slot) {
  const std::size_t mask = index_.size() - 1;
  std::size_t hole = slot;
  for (std::size_t next = (slot + 1) & mask; index_[next] != 0; next = (next + 1) & mask) {
    const std::size_t home = HashOf(entries_[PositionIn(index_[next])]) >> shift_;
    // The entry at `next` may stay only if its home lies cyclically in
    // (hole, next]; otherwise a lookup starting at home would stop at the hole.
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!stays) {
      index_[hole] = index_[next];
      hole = next;
    }
  }
  index_[hole] = 0;
}

void WordTable::Rehash(std::size_t index_size) {
  index_.assign(index_size, 0);
  FillIndex();
}

void WordTable::FillIndex() {
  shift_ = 64 - static_cast<unsigned>(std::countr_zero(index_.size()));
  IndexFrom(0);
}

void WordTable::IndexAppended() const {
  if (indexed_ < entries_.size())
    IndexFrom(indexed_);
}

void WordTable::IndexFrom(std::size_t first) const {
  // The slots of the records a little ahead are fetched while this one is
  // entered: in a large index nearly every slot is a cache miss.
  constexpr std::size_t kAhead = 16;
  const std::size_t mask = index_.size() - 1;
  const std::size_t count = entries_.size();
  for (std::size_t i = first; i < count; ++i) {
    if (i + kAhead < count && IsLive(entries_[i + kAhead]))
      __builtin_prefetch(&index_[HashOf(entries_[i + kAhead]) >> shift_], 1);
    if (!IsLive(entries_[i]))
      continue;
    const std::uint64_t hash = HashOf(entries_[i]);
    std::size_t slot = hash >> shift_;
    while (index_[slot] != 0)
      slot = (slot + 1) & mask;
    index_[slot] = SlotValue(i, hash);
  }
  indexed_ = count;
}

std::vector<std::uint32_t> WordTable::OrderedPositions() const {
  std::vector<std::uint32_t> tail;
  tail.reserve(entries_.size() - sorted_);
  for (std::size_t i = sorted_; i < entries_.size(); ++i) {
    if (IsLive(entries_[i]))
      tail.push_back(static_cast<std::uint32_t>(i));
  }
  std::sort(tail.begin(), tail.end(),
            [this](std::uint32_t a, std::uint32_t b) { return Less(entries_[a], entries_[b]); });

  std::vector<std::uint32_t> order;
  order.reserve(size());
  std::size_t t = 0;
  for (std::size_t i = 0; i < sorted_; ++i) {
    if (!IsLive(entries_[i]))
      continue;
    while (t < tail.size() && Less(entries_[tail[t]], entries_[i]))
      order.push_back(tail[t++]);
    order.push_back(static_cast<std::uint32_t>(i));
  }
  order.insert(order.end(), tail.begin() + static_cast<std::ptrdiff_t>(t), tail.end());
  return order;
}

std::shared_ptr<const std::vector<std::uint32_t>> WordTable::OrderIfNeeded() const {
  if (InOrder())
    return nullptr;
  return std::make_shared<const std::vector<std::uint32_t>>(OrderedPositions());
}

void WordTable::Compact() {
  if (InOrder())
    return;
  // Everything is allocated before anything changes, so running out of
  // memory leaves the table as it was.
  const std::vector<std::uint32_t> order = OrderedPositions();
  std::vector<std::uint32_t> index(IndexSizeFor(order.size()), 0);
  std::vector<Record> records;
  records.reserve(order.size());
  std::string long_words;
  for (std::uint32_t position : order) {
    Record record = entries_[position];
    if (record.key[15] == kLongMark) {
      const std::string_view word = WordOf(record);
      const auto offset = static_cast<std::uint32_t>(long_words.size());
      const auto length = static_cast<std::uint32_t>(word.size());
      long_words.append(reinterpret_cast<const char*>(&length), sizeof length);
      long_words.append(word);
      std::memcpy(record.key + 8, &offset, sizeof offset);
    }
    records.push_back(record);
  }
  entries_ = std::move(records);
  long_words_ = std::move(long_words);
  index_ = std::move(index);
  dead_ = 0;
  sorted_ = entries_.size();
  FillIndex();
}

std::size_t WordTable::MemoryBytes() const {
  return entries_.capacity() * sizeof(Record) + index_.capacity() * sizeof(std::uint32_t) +
         long_words_.capacity();
}

bool operator==(const WordTable& a, const WordTable& b) {
  if (a.size() != b.size())
    return false;
  bool same = true;
  a.ForEachUnordered([&](std::string_view word, const WordEntry& entry) {
    if (same) {
      const WordEntry* other = b.Find(word);
      same = other != nullptr && *other == entry;
    }
  });
  return same;
}

}  // namespace varnox

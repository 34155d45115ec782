// The tokenizer's byte tables and word pass, and the counts it gathers.
#include "engine/tokenizer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string_view>

#include "engine/ignore_list.h"
#include "engine/unaligned.h"
#include "platform/code_page.h"

namespace varnox {
namespace {

using Kind = Tokenizer::Kind;
using enum Tokenizer::Kind;

struct ByteTables {
  std::array<Kind, 256> kind{};
  std::array<unsigned char, 256> lower{};
};

ByteTables MakeByteTables() {
  ByteTables t;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    Kind kind = kSeparator;
    if (code_page::IsAlphaNumeric(byte))
      kind = code_page::IsAlphabetic(byte) ? kLetter : kDigit;
    t.kind[b] = kind;
    t.lower[b] = code_page::ToLower(byte);
  }
  for (unsigned char b : std::string_view("+/="))
    t.kind[b] = kPlusSlashEq;
  for (unsigned char b : std::string_view("$!'-_"))
    t.kind[b] = kKept;
  t.kind[','] = kPoint;
  t.kind['.'] = kPoint;
  return t;
}

const ByteTables& Tables() {
  static const ByteTables tables = MakeByteTables();
  return tables;
}

bool IsAlphaNumericKind(Kind kind) {
  return kind == kLetter || kind == kDigit;
}

// Lower-cases the ASCII letters among 8 bytes at once. Only the bytes of
// the word need to be below 0x80: a carry out of any other byte only
// reaches bytes further on, which the caller masks off.
std::uint64_t LowerAscii(std::uint64_t bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t at_least_a = (bytes + kOnes * (0x80 - 'A')) & (kOnes * 0x80);
  const std::uint64_t above_z = (bytes + kOnes * (0x80 - 'Z' - 1)) & (kOnes * 0x80);
  return bytes | ((at_least_a & ~above_z) >> 2);
}

// The first `length` (0..8) bytes of a little-endian word.
std::uint64_t KeepBytes(std::uint64_t bytes, std::size_t length) {
  return length >= 8 ? bytes : bytes & ((std::uint64_t{1} << (8 * length)) - 1);
}

// 0x80 in each byte of the 8 that is an ASCII letter, 0 in the others.
std::uint64_t AsciiLetters(std::uint64_t bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = kOnes * 0x80;
  // Folded to lower case and to 7 bits, so that no sum below carries into
  // the next byte; bytes above 0x7F are ruled out afterwards.
  const std::uint64_t folded = (bytes | (kOnes * 0x20)) & (kOnes * 0x7F);
  const std::uint64_t at_least_a = (folded + kOnes * (0x80 - 'a')) & kHigh;
  const std::uint64_t above_z = (folded + kOnes * (0x80 - 'z' - 1)) & kHigh;
  return at_least_a & ~above_z & ~bytes & kHigh;
}

// The position of the first byte from `i` on that is not a letter (or
// `size`). ASCII letters are passed over 8 at a time; a mail's words end
// after a few letters, so this is mostly one step and one well-predicted
// branch instead of a mispredicted exit from a byte loop.
std::size_t SkipLetters(const ByteTables& tables, const unsigned char* bytes, std::size_t i,
                        std::size_t size) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  while (true) {
    while (i + 8 <= size) {
      const std::uint64_t letters = AsciiLetters(Load64(bytes + i));
      if (letters != kHigh) {
        i += static_cast<std::size_t>(std::countr_zero(~letters & kHigh)) / 8;
        break;
      }
      i += 8;
    }
    // Letters above 0x7F, and the last few bytes, one at a time.
    if (i >= size || tables.kind[bytes[i]] != kLetter)
      return i;
    ++i;
  }
}

// Applies the word-pass rules to one piece and counts the word it gives.
class PieceCounter {
 public:
  PieceCounter(WordCounts& counts, const unsigned char* end)
      : tables_(Tables()), counts_(counts), end_(end) {}

  // `plain`: the piece holds only letters and digits, so nothing is to be
  // stripped or refused but its length.
  void Count(const unsigned char* piece, std::size_t length, bool plain) const {
    // Bounds apply before the leading bytes are stripped; a longer piece is
    // skipped, never cut.
    if (length < Tokenizer::kMinWordLength || length > Tokenizer::kMaxWordLength)
      return;
    if (plain && piece + 16 <= end_) {
      constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
      const std::uint64_t low = KeepBytes(Load64(piece), length);
      const std::uint64_t high = length > 8 ? KeepBytes(Load64(piece + 8), length - 8) : 0;
      if (((low | high) & kHighBits) == 0) {
        Add(WordKey(KeepBytes(LowerAscii(low), length),
                    length > 8 ? KeepBytes(LowerAscii(high), length - 8) : 0, length));
        return;
      }
    }
    const Kind last = tables_.kind[piece[length - 1]];
    if (!IsAlphaNumericKind(last) && piece[length - 1] != '!')
      return;
    std::size_t start = length;
    for (std::size_t i = 0; i < length; ++i) {
      const Kind kind = tables_.kind[piece[i]];
      if (kind == kPlusSlashEq)
        return;
      if (start == length && (IsAlphaNumericKind(kind) || piece[i] == '$'))
        start = i;
    }
    if (start == length)
      return;
    // Words here are at most 15 bytes and hold no NUL: the key is built in
    // two registers (byte stores read back as words would stall).
    const unsigned char* word = piece + start;
    const std::size_t word_length = length - start;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    for (std::size_t i = 0; i < word_length && i < 8; ++i)
      low |= std::uint64_t{tables_.lower[word[i]]} << (8 * i);
    for (std::size_t i = 8; i < word_length; ++i)
      high |= std::uint64_t{tables_.lower[word[i]]} << (8 * (i - 8));
    Add(WordKey(low, high, word_length));
  }

 private:
  void Add(const WordKey& key) const { counts_.Add(key); }

  const ByteTables& tables_;
  WordCounts& counts_;
  const unsigned char* end_;  // of the text: loads may not pass it
};

}  // namespace

WordCounts::WordCounts(std::size_t expectedWords) {
  if (expectedWords == 0)
    return;
  keys_.reserve(expectedWords);
  counts_.reserve(expectedWords);
  std::size_t size = 16;
  while (size < 2 * expectedWords)
    size *= 2;
  Rehash(size);
}

void WordCounts::Rehash(std::size_t indexSize) {
  index_.assign(indexSize, 0);
  shift_ = 64 - static_cast<unsigned>(std::countr_zero(indexSize));
  const std::size_t mask = indexSize - 1;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    std::size_t slot = keys_[i].hash() >> shift_;
    while (index_[slot] != 0)
      slot = (slot + 1) & mask;
    index_[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

void WordCounts::AddNew(const WordKey& key, std::size_t slot) {
  keys_.push_back(key);
  counts_.push_back(1);
  if (keys_.size() * 2 > index_.size())
    Rehash(index_.size() * 2);
  else
    index_[slot] = static_cast<std::uint32_t>(keys_.size());
}

void WordCounts::AddTo(WordTable& map) const {
  if (map.empty()) {
    // None of the words is there: no lookups needed.
    map.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i)
      map.InsertNew(keys_[i], WordEntry{counts_[i], counts_[i], 0.5f, 0});
    return;
  }
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    auto [entry, inserted] = map.Insert(keys_[i], WordEntry{counts_[i], counts_[i], 0.5f, 0});
    if (!inserted) {
      entry->spamCount = AddCounts(entry->spamCount, counts_[i]);
      entry->cleanCount = AddCounts(entry->cleanCount, counts_[i]);
    }
  }
}

Tokenizer::Kind Tokenizer::KindOf(unsigned char byte) {
  return Tables().kind[byte];
}

WordCounts Tokenizer::Count(std::string_view text) const {
  const ByteTables& tables = Tables();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  WordCounts counts(std::min<std::size_t>(size / 8 + 16, 1 << 16));  // about the words of mail
  const PieceCounter counter(counts, bytes + size);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t piece = kNone;   // start of the current piece
  bool plain = true;           // the piece holds only letters and digits so far
  bool after_digit = false;    // the last alphanumeric byte was a digit
  bool pending_point = false;  // a point or comma was kept after a digit

  std::size_t i = 0;
  while (i < size) {
    const Kind kind = tables.kind[bytes[i]];
    // Letters and separators are most bytes of mail: they are told apart by
    // plain branches, which predict far better than the switch's jump.
    if (kind == kSeparator) {
      if (piece != kNone) {
        counter.Count(bytes + piece, i - piece, plain);
        piece = kNone;
      }
      ++i;
      continue;
    }
    switch (kind) {
      case kLetter:
        if (pending_point) {
          // The byte before this letter becomes a space.
          if (piece != kNone && piece + 1 < i)
            counter.Count(bytes + piece, i - 1 - piece, false);
          piece = kNone;
          pending_point = false;
        }
        after_digit = false;
        if (piece == kNone) {
          piece = i;
          plain = true;
        }
        // Further letters change nothing.
        i = SkipLetters(tables, bytes, i + 1, size);
        continue;
      case kDigit:
        pending_point = false;
        after_digit = true;
        if (piece == kNone) {
          piece = i;
          plain = true;
        }
        break;
      case kPlusSlashEq:
      case kKept:
        if (piece == kNone)
          piece = i;
        plain = false;
        break;
      case kPoint:
        if (after_digit) {
          after_digit = false;
          pending_point = true;
          if (piece == kNone)
            piece = i;
          plain = false;
          break;
        }
        [[fallthrough]];
      case kSeparator:
        if (piece != kNone) {
          counter.Count(bytes + piece, i - piece, plain);
          piece = kNone;
        }
        break;
    }
    ++i;
  }
  if (piece != kNone)
    counter.Count(bytes + piece, size - piece, plain);
  // Each distinct word is looked up once, not each occurrence.
  if (ignored_ != nullptr && !ignored_->empty())
    counts.Filter([this](const WordKey& key) { return !ignored_->Contains(key); });
  return counts;
}

}  // namespace varnox

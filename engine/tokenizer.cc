// The tokenizer's byte tables and word pass, and the counts it gathers.
#include "engine/tokenizer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>
#include <string_view>

#include "engine/ignore_list.h"
#include "engine/key_index.h"
#include "engine/unaligned.h"
#include "platform/code_page.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define VARNOX_TOKENIZER_SSE2 1
#else
#define VARNOX_TOKENIZER_SSE2 0
#endif

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

// The word pass over one text: the byte rules with their state, run byte
// by byte, and (with SSE2) a quicker way through mail's usual text.
//
// The quick way rests on two facts of the rules. Bytes that are always
// separators end a piece and change nothing else. And a piece of ASCII
// letters and digits alone is counted as it stands whatever came before it:
// a pending point only ever spaces the separator before the piece, and the
// piece leaves the state it would anyway (its last byte decides whether a
// digit came last, and no point is pending). So a window of text is split
// at its separators; such pieces are counted at once and only the pieces
// holding other bytes go through the byte rules, with the state they need.
class WordPass {
 public:
  WordPass(const unsigned char* bytes, std::size_t size, WordCounts& counts)
      : tables_(Tables()), counter_(counts, bytes + size), bytes_(bytes), size_(size) {}

  void Run() {
    while (i_ < size_) {
#if VARNOX_TOKENIZER_SSE2
      if (piece_ == kNone && i_ + kWindow <= size_) {
        const std::size_t done = CountWindow();
        if (done != 0) {
          i_ += done;
          continue;
        }
      }
#endif
      // The rest of a piece that fills a window, or the last bytes.
      StepBytes(std::min(size_, i_ + kWindow));
    }
    EndPiece(size_);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kWindow = 64;

  void StartPiece(std::size_t at) {
    piece_ = at;
    plain_ = true;
  }
  // The piece, if any, ends before `at`.
  void EndPiece(std::size_t at) {
    if (piece_ != kNone) {
      counter_.Count(bytes_ + piece_, at - piece_, plain_);
      piece_ = kNone;
    }
  }

  // The byte rules from i_ until at least `until`.
  void StepBytes(std::size_t until) {
    while (i_ < until) {
      const Kind kind = tables_.kind[bytes_[i_]];
      // Letters and separators are most bytes of mail: they are told apart
      // by plain branches, which predict far better than the switch's jump.
      if (kind == kSeparator) {
        EndPiece(i_);
        ++i_;
        continue;
      }
      switch (kind) {
        case kLetter:
          if (pending_point_) {
            // The byte before this letter becomes a space.
            if (piece_ != kNone && piece_ + 1 < i_)
              counter_.Count(bytes_ + piece_, i_ - 1 - piece_, false);
            piece_ = kNone;
            pending_point_ = false;
          }
          after_digit_ = false;
          if (piece_ == kNone)
            StartPiece(i_);
          // Further letters change nothing.
          i_ = SkipLetters(tables_, bytes_, i_ + 1, size_);
          continue;
        case kDigit:
          pending_point_ = false;
          after_digit_ = true;
          if (piece_ == kNone)
            StartPiece(i_);
          break;
        case kPlusSlashEq:
        case kKept:
          if (piece_ == kNone)
            piece_ = i_;
          plain_ = false;
          break;
        case kPoint:
          if (after_digit_) {
            after_digit_ = false;
            pending_point_ = true;
            if (piece_ == kNone)
              piece_ = i_;
            plain_ = false;
            break;
          }
          [[fallthrough]];
        case kSeparator:
          EndPiece(i_);
          break;
      }
      ++i_;
    }
  }

#if VARNOX_TOKENIZER_SSE2
  // Bit k set where byte k of `v` is in [lo, hi] (both below 0x80; bytes
  // from 0x80 on compare as negative and never match).
  static unsigned InRange(__m128i v, char lo, char hi) {
    const __m128i above = _mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1)));
    const __m128i below = _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1)));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(above, below)));
  }
  static unsigned Equal(__m128i v, char byte) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(byte))));
  }

  // For the 64 bytes at `p`: bit k of *separators set when byte k is
  // always a separator (an ASCII byte that is no letter, digit or mark),
  // bit k of *others when it is neither that nor an ASCII letter or digit.
  static void ClassifyWindow(const unsigned char* p, std::uint64_t* separators,
                             std::uint64_t* others) {
    *separators = 0;
    *others = 0;
    for (unsigned part = 0; part < kWindow / 16; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
      const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
      // '+' ',' '-' '.' '/' and "!$'=_".
      const unsigned marks = InRange(v, '+', '/') | Equal(v, '!') | Equal(v, '$') | Equal(v, '\'') |
                             Equal(v, '=') | Equal(v, '_');
      const unsigned alnum =
          InRange(v, '0', '9') | InRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
      const unsigned other = high | marks;
      *separators |= static_cast<std::uint64_t>(~(other | alnum) & 0xFFFFu) << (16 * part);
      *others |= static_cast<std::uint64_t>(other) << (16 * part);
    }
  }

  // Splits the window at i_ at its separators and counts every piece that
  // ends inside it. Returns the bytes done: up to the start of a piece that
  // reaches the window's end, else the whole window; 0 when one piece fills
  // it. Needs no piece open.
  std::size_t CountWindow() {
    std::uint64_t separators;
    std::uint64_t others;
    ClassifyWindow(bytes_ + i_, &separators, &others);
    const std::uint64_t inside = ~separators;
    std::uint64_t starts = inside & ~(inside << 1);
    while (starts != 0) {
      const auto start = static_cast<unsigned>(std::countr_zero(starts));
      const auto length = static_cast<unsigned>(std::countr_one(inside >> start));
      const unsigned end = start + length;
      if (end == kWindow)
        return start;
      const std::size_t at = i_ + start;
      const std::uint64_t piece_bits = ((std::uint64_t{1} << length) - 1) << start;
      if ((others & piece_bits) == 0) {
        counter_.Count(bytes_ + at, length, true);
        after_digit_ = tables_.kind[bytes_[at + length - 1]] == kDigit;
        pending_point_ = false;
      } else {
        // The byte rules for this piece alone; the separator after it ends
        // whatever piece they leave open.
        const std::size_t window = i_;
        i_ = at;
        StepBytes(at + length);
        EndPiece(at + length);
        i_ = window;
      }
      starts &= ~((std::uint64_t{2} << (end - 1)) - 1);
    }
    return kWindow;
  }
#endif

  const ByteTables& tables_;
  const PieceCounter counter_;
  const unsigned char* bytes_;
  std::size_t size_;
  std::size_t i_ = 0;
  std::size_t piece_ = kNone;   // start of the current piece
  bool plain_ = true;           // the piece holds only letters and digits so far
  bool after_digit_ = false;    // the last alphanumeric byte was a digit
  bool pending_point_ = false;  // a point or comma was kept after a digit
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
  shift_ = RebuildKeyIndex(keys_, indexSize, index_);
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
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  WordCounts counts(std::min<std::size_t>(size / 8 + 16, 1 << 16));  // about the words of mail
  WordPass(bytes, size, counts).Run();
  // Each distinct word is looked up once, not each occurrence.
  if (ignored_ != nullptr && !ignored_->empty())
    counts.Filter([this](const WordKey& key) { return !ignored_->Contains(key); });
  return counts;
}

WordCounts Tokenizer::CountOrNone(std::string_view text) const noexcept {
  try {
    return Count(text);
  } catch (const std::bad_alloc&) {
    return WordCounts();
  }
}

}  // namespace varnox

// The statistics of one word: the value type of every WordTable (the learned
// tables, a message's word map, a score's selection), and the two sides its
// counts stand for.
#ifndef VARNOX_ENGINE_WORD_ENTRY_H_
#define VARNOX_ENGINE_WORD_ENTRY_H_

#include <algorithm>
#include <cstdint>

namespace varnox {

struct WordEntry {
  // Occurrences learned from spam / from clean mail. In a message word map
  // both hold the word's number of occurrences in the text.
  std::int32_t spamCount = 0;
  std::int32_t cleanCount = 0;
  // Spam probability, kept within 0.0001 to 1 in the learned table.
  float probability = 0.5f;
  // Unix time in seconds when the word was last learned (or loaded without a
  // time); in a score's selection, the time of the selection.
  std::int32_t lastSeen = 0;

  friend bool operator==(const WordEntry&, const WordEntry&) = default;
};

// A side of the statistics: the spam counts or the clean counts (of a word,
// and of the messages learned).
enum class Side { kSpam, kClean };

inline Side OtherSide(Side side) {
  return side == Side::kSpam ? Side::kClean : Side::kSpam;
}

// The entry's count on `side`.
inline std::int32_t& CountOf(WordEntry& entry, Side side) {
  return side == Side::kSpam ? entry.spamCount : entry.cleanCount;
}

// count + more, held within the 32-bit range: two billion occurrences are out
// of reach of real mail, not of a damaged file.
inline std::int32_t AddCounts(std::int32_t count, std::int32_t more) {
  const std::int64_t sum = static_cast<std::int64_t>(count) + more;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
}

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_ENTRY_H_

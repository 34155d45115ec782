// The aging of learned counts, the same for every judge's file: at an aging
// save, a word not learned for more than ten days loses one occurrence on
// each side that has any. Saves age at most once every two days.
#ifndef VARNOX_ENGINE_AGING_H_
#define VARNOX_ENGINE_AGING_H_

#include <cstdint>

#include "engine/word_entry.h"

namespace varnox {

// Whether a save may age the statistics. Aging belongs to the saves of Empty
// and of teardown; a save made only to keep what was just taught must not,
// or a host left open for weeks would age the table at every lesson.
enum class Aging { kWhenDue, kNever };

namespace aging {

inline constexpr std::uint32_t kAge = 864000;      // ten days, seconds
inline constexpr std::int64_t kInterval = 172800;  // two days, seconds

// Whether a save at `now` ages, the last aging having been at `lastAging`.
inline bool Due(std::int32_t now, std::int32_t lastAging) {
  return static_cast<std::int64_t>(now) - lastAging > kInterval;
}

// Ages `entry` when it is old at `now`; true when it was. Unsigned, so a
// time in the future counts as very old.
inline bool AgeEntry(WordEntry& entry, std::int32_t now) {
  const std::uint32_t unseen =
      static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(entry.lastSeen);
  if (unseen <= kAge)
    return false;
  if (entry.spamCount > 0)
    --entry.spamCount;
  if (entry.cleanCount > 0)
    --entry.cleanCount;
  return true;
}

}  // namespace aging
}  // namespace varnox

#endif  // VARNOX_ENGINE_AGING_H_

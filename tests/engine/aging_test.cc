#include "engine/aging.h"

#include <gtest/gtest.h>

namespace varnox {
namespace {

constexpr std::int32_t kNow = 1'700'000'000;

TEST(AgingTest, OldEntriesLoseOneOnEachSideThatHasAny) {
  struct Case {
    const char* what;
    WordEntry before;
    bool aged;
    WordEntry after;
  };
  const std::int32_t ten_days = static_cast<std::int32_t>(aging::kAge);
  const Case cases[] = {
      {"unseen exactly ten days",
       {3, 2, 0.5f, kNow - ten_days},
       false,
       {3, 2, 0.5f, kNow - ten_days}},
      {"one second more",
       {3, 2, 0.5f, kNow - ten_days - 1},
       true,
       {2, 1, 0.5f, kNow - ten_days - 1}},
      {"one side empty", {0, 1, 0.5f, 0}, true, {0, 0, 0.5f, 0}},
      {"a time in the future", {3, 2, 0.5f, kNow + 1}, true, {2, 1, 0.5f, kNow + 1}},
      {"learned now", {3, 2, 0.5f, kNow}, false, {3, 2, 0.5f, kNow}},
      {"negative counts stay", {-4, 0, 0.5f, 0}, true, {-4, 0, 0.5f, 0}},
  };
  for (const Case& c : cases) {
    WordEntry entry = c.before;
    EXPECT_EQ(aging::AgeEntry(entry, kNow), c.aged) << c.what;
    EXPECT_EQ(entry, c.after) << c.what;
  }
}

TEST(AgingTest, DueOnlyAfterMoreThanTwoDays) {
  const auto two_days = static_cast<std::int32_t>(aging::kInterval);
  EXPECT_FALSE(aging::Due(kNow, kNow - two_days));
  EXPECT_TRUE(aging::Due(kNow, kNow - two_days - 1));
  EXPECT_FALSE(aging::Due(kNow, kNow + 5));  // a clock set back
  // No overflow across the whole 32-bit range.
  EXPECT_TRUE(aging::Due(INT32_MAX, INT32_MIN));
  EXPECT_FALSE(aging::Due(INT32_MIN, INT32_MAX));
}

}  // namespace
}  // namespace varnox

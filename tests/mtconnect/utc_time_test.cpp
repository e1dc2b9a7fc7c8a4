// The wall clock in UTC and local dates converted to UTC, as the adapter stamps its lines
// and reports the last reset.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/clock.h"
#include "platform/local_time.h"

namespace {

namespace platform = tallymark::platform;

TEST(UtcTime, TheLocalNowConvertsToTheUtcNow) {
  int64_t before = platform::utcMillisNow();
  platform::LocalDateTime local = platform::detail::systemLocalNow();
  int64_t after = platform::utcMillisNow();
  int64_t converted = 0;
  ASSERT_TRUE(platform::utcMillisFromLocal(local, converted));
  EXPECT_GE(converted, before - 1);
  EXPECT_LE(converted, after + 1);
  // Some time in 2026 or later, in milliseconds.
  EXPECT_GT(before, 1767225600000LL);
}

TEST(UtcTime, ConvertsDatesOnBothSidesOf1970AndRefusesWhatTheSystemCannot) {
  platform::LocalDateTime newYear{2000, 1, 1, 0, 0, 0, 250};
  int64_t ms = 0;
  ASSERT_TRUE(platform::utcMillisFromLocal(newYear, ms));
  // Whatever the zone, within fourteen hours of midnight UTC, the milliseconds kept.
  EXPECT_LE(std::llabs(ms - 946684800250LL), 14 * 3600000LL);
  EXPECT_EQ(ms % 1000, 250);
  platform::LocalDateTime old{1965, 6, 1, 12, 0, 0, 0};
  ASSERT_TRUE(platform::utcMillisFromLocal(old, ms));
  EXPECT_LE(std::llabs(ms - (-144676800000LL)), 14 * 3600000LL);
}

}  // namespace

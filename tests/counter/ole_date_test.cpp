// OLE Automation dates, both ways, to the millisecond, over the whole range.
#include "counter/ole_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <tuple>

namespace tallymark::platform {
bool operator==(const LocalDateTime& a, const LocalDateTime& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second, a.millisecond) ==
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second, b.millisecond);
}
std::ostream& operator<<(std::ostream& out, const LocalDateTime& t) {
  return out << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':'
             << t.second << '.' << t.millisecond;
}
}  // namespace tallymark::platform

namespace {

using tallymark::counter::dateTimeFromOleDate;
using tallymark::counter::oleDateFromDateTime;
using tallymark::platform::LocalDateTime;

LocalDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return LocalDateTime{y, mo, d, h, mi, s, ms};
}

TEST(OleDate, KnownValuesOnBothSidesOfTheEpoch) {
  EXPECT_EQ(dateTimeFromOleDate(0.0), at(1899, 12, 30));
  EXPECT_EQ(dateTimeFromOleDate(1.5), at(1899, 12, 31, 12));
  EXPECT_EQ(dateTimeFromOleDate(2.0), at(1900, 1, 1));
  // Before the epoch the whole days count backward, the fraction still forward.
  EXPECT_EQ(dateTimeFromOleDate(-1.25), at(1899, 12, 29, 6));
  EXPECT_EQ(dateTimeFromOleDate(-1.0), at(1899, 12, 29));
  EXPECT_EQ(dateTimeFromOleDate(-0.5), at(1899, 12, 30, 12));
  EXPECT_EQ(dateTimeFromOleDate(-2.75), at(1899, 12, 28, 18));
  EXPECT_DOUBLE_EQ(oleDateFromDateTime(at(1899, 12, 29, 6)), -1.25);
  EXPECT_DOUBLE_EQ(oleDateFromDateTime(at(1899, 12, 28, 18)), -2.75);
  EXPECT_DOUBLE_EQ(oleDateFromDateTime(at(1899, 12, 30, 12)), 0.5);
  // 29 February 2024, 13:45:30.250.
  const double leapDay = 45351 + (13 * 3600 + 45 * 60 + 30.25) / 86400.0;
  EXPECT_DOUBLE_EQ(oleDateFromDateTime(at(2024, 2, 29, 13, 45, 30, 250)), leapDay);
  EXPECT_EQ(dateTimeFromOleDate(leapDay), at(2024, 2, 29, 13, 45, 30, 250));
}

TEST(OleDate, EveryMillisecondSurvivesTheRoundTripAcrossTheRange) {
  // Days stepped by a prime through the whole range, with times that move through every
  // field, each way round.
  int checked = 0;
  for (int64_t day = -657434; day <= 2958465; day += 7919) {
    const double base = static_cast<double>(day);
    const int ms = static_cast<int>((day * 7919 % 86400000 + 86400000) % 86400000);
    std::optional<LocalDateTime> midnight = dateTimeFromOleDate(base);
    ASSERT_TRUE(midnight.has_value()) << day;
    LocalDateTime t = *midnight;
    t.hour = ms / 3600000;
    t.minute = ms / 60000 % 60;
    t.second = ms / 1000 % 60;
    t.millisecond = ms % 1000;
    const double value = oleDateFromDateTime(t);
    ASSERT_EQ(std::trunc(value), base) << t;
    ASSERT_EQ(dateTimeFromOleDate(value), t) << value;
    ++checked;
  }
  EXPECT_GT(checked, 400);
  // The last millisecond of a day stays on its day.
  EXPECT_EQ(dateTimeFromOleDate(oleDateFromDateTime(at(1850, 6, 1, 23, 59, 59, 999))),
            at(1850, 6, 1, 23, 59, 59, 999));
}

TEST(OleDate, RoundingUpToMidnightMovesForwardOnBothSides) {
  EXPECT_EQ(dateTimeFromOleDate(0.9999999999), at(1899, 12, 31));
  EXPECT_EQ(dateTimeFromOleDate(-1.9999999999), at(1899, 12, 30));
  EXPECT_EQ(dateTimeFromOleDate(-3.0000000001), at(1899, 12, 27));
}

TEST(OleDate, RangeEndsAndValuesThatAreNoDate) {
  EXPECT_EQ(oleDateFromDateTime(at(100, 1, 1)), -657434.0);
  EXPECT_EQ(dateTimeFromOleDate(-657434.0), at(100, 1, 1));
  EXPECT_EQ(dateTimeFromOleDate(-657434.5), at(100, 1, 1, 12));
  EXPECT_EQ(dateTimeFromOleDate(2958465.0), at(9999, 12, 31));
  EXPECT_EQ(dateTimeFromOleDate(oleDateFromDateTime(at(9999, 12, 31, 23, 59, 59, 999))),
            at(9999, 12, 31, 23, 59, 59, 999));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf, -657435.0, -700000.5, 2958466.0, 1e300, 2958465.9999999999}) {
    EXPECT_FALSE(dateTimeFromOleDate(bad).has_value()) << bad;
  }
  for (const LocalDateTime& bad :
       {at(99, 12, 31), at(10000, 1, 1), at(1900, 2, 29), at(2023, 2, 29), at(2024, 4, 31),
        at(2024, 13, 1), at(2024, 0, 1), at(2024, 1, 0), at(2024, 1, 1, 24), at(2024, 1, 1, 0, 60),
        at(2024, 1, 1, 0, 0, 60), at(2024, 1, 1, 0, 0, 0, 1000), at(2024, 1, 1, -1)}) {
    EXPECT_TRUE(std::isnan(oleDateFromDateTime(bad))) << bad;
  }
  EXPECT_FALSE(std::isnan(oleDateFromDateTime(at(2000, 2, 29))));
  EXPECT_FALSE(std::isnan(oleDateFromDateTime(at(1600, 2, 29))));
}

}  // namespace

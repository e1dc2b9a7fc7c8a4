#include "ole_date.h"

#include <gtest/gtest.h>

#include <limits>

namespace tallymark::hostsim {
namespace {

TEST(OleDate, FormatsDaysSince30December1899) {
  EXPECT_EQ(formatOleDate(0.0), "1899-12-30 00:00:00");
  EXPECT_EQ(formatOleDate(45000.5), "2023-03-15 12:00:00");
  EXPECT_EQ(formatOleDate(60.0), "1900-02-28 00:00:00");
  EXPECT_EQ(formatOleDate(61.0), "1900-03-01 00:00:00") << "1900 was no leap year";
  EXPECT_EQ(formatOleDate(-657434.0), "0100-01-01 00:00:00");
  EXPECT_EQ(formatOleDate(2958465.5), "9999-12-31 12:00:00");
}

TEST(OleDate, BeforeTheEpochTheFractionStillCountsForwardFromMidnight) {
  EXPECT_EQ(formatOleDate(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(formatOleDate(-0.5), "1899-12-30 12:00:00");
}

TEST(OleDate, RoundsToTheSecondAcrossMidnight) {
  EXPECT_EQ(formatOleDate(45000.0 + 86399.6 / 86400.0), "2023-03-16 00:00:00");
  EXPECT_EQ(formatOleDate(45000.0 + 3661.4 / 86400.0), "2023-03-15 01:01:01");
}

TEST(OleDate, ValuesThatAreNoDateSaySo) {
  EXPECT_EQ(formatOleDate(std::numeric_limits<double>::quiet_NaN()).rfind("(not a date", 0), 0u);
  EXPECT_EQ(formatOleDate(3e6).rfind("(not a date", 0), 0u);
  EXPECT_EQ(formatOleDate(-657435.0).rfind("(not a date", 0), 0u);
  EXPECT_EQ(formatOleDate(std::numeric_limits<double>::infinity()).rfind("(not a date", 0), 0u);
}

}  // namespace
}  // namespace tallymark::hostsim

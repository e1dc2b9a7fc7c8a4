// The exact text of the dump's lines, and what happens to a line too long for the
// console's 256-byte buffer.
#include "diag/dump_lines.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

using tallymark::diag::AxisDumpValues;
using tallymark::diag::formatAxisLine;
using tallymark::diag::formatFileLine;
using tallymark::diag::kConsoleLineSize;

namespace {

TEST(DumpLines, AxisLineHasTheFixedLayout) {
  char line[kConsoleLineSize];
  size_t length =
      formatAxisLine(line, AxisDumpValues{'X', 12.5, 3.25, 2000.0, 0.0005, 1, 0, 0, 1000, -1000});
  EXPECT_STREQ(line,
               "X Vel: 12.5000 Acc:  3.2500 Steps:   2000.0000 Epr:  0.0005 Dir:1 Slave:0 "
               "SlaveA:0 SlimHi:    1000 SlimLo:   -1000");
  EXPECT_EQ(length, std::strlen(line));

  // Bytes read as unsigned (255, not -1); the integers' extremes still fit.
  formatAxisLine(line, AxisDumpValues{'A', -120.125, 1500.0, -8.5, 360.0, 255, 1, 3, 2147483647,
                                      -2147483647 - 1});
  EXPECT_STREQ(line,
               "A Vel:-120.1250 Acc:1500.0000 Steps:     -8.5000 Epr:360.0000 Dir:255 Slave:1 "
               "SlaveA:3 SlimHi:2147483647 SlimLo:-2147483648");
}

TEST(DumpLines, FileLineIsFramedByBlanks) {
  char line[kConsoleLineSize];
  EXPECT_EQ(formatFileLine(line, 1, 0), 33u);
  EXPECT_STREQ(line, " Infor: DigifileOpen 1 loaded: 0 ");
  formatFileLine(line, 255, 7);
  EXPECT_STREQ(line, " Infor: DigifileOpen 255 loaded: 7 ");
}

TEST(DumpLines, HugeValueIsCutAt255CharactersInsideTheBuffer) {
  struct Guarded {
    char line[kConsoleLineSize];
    char guard[32];
  } buffer;
  std::memset(&buffer, '#', sizeof buffer);
  size_t length =
      formatAxisLine(buffer.line, AxisDumpValues{'Y', 1e300, 1.0, 1.0, 1.0, 0, 0, 0, 0, 0});
  EXPECT_EQ(length, kConsoleLineSize - 1);
  ASSERT_EQ(std::strlen(buffer.line), kConsoleLineSize - 1);
  EXPECT_EQ(std::string(buffer.line, 7), "Y Vel:1");
  std::string digits(buffer.line + 6);
  for (char c : digits) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << digits;
  EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(32, '#'));
}

}  // namespace

#include "run_log_view.h"

#include <gtest/gtest.h>

namespace {

using tallymark::hostsim::lastLogLines;
using Lines = std::vector<std::string>;

TEST(RunLogView, LastCompleteLinesWithoutTheMarkOrACutLine) {
  const std::string file =
      "\xEF\xBB\xBF"
      "Event,Time\r\na,1\r\nb,2\r\nc,3\r\nd,";
  EXPECT_EQ(lastLogLines(file, true, 2), (Lines{"b,2", "c,3"}));
  EXPECT_EQ(lastLogLines(file, true, 10), (Lines{"Event,Time", "a,1", "b,2", "c,3"}));
  // From the middle of the file the first, partial line is not shown.
  EXPECT_EQ(lastLogLines(file.substr(16), false, 10), (Lines{"b,2", "c,3"}));
  EXPECT_EQ(lastLogLines("", true, 4), Lines{});
  EXPECT_EQ(lastLogLines("no line end", false, 4), Lines{});
  EXPECT_EQ(tallymark::hostsim::runLogFile("C:\\Mach3\\Mach3Mill.xml"),
            "C:\\Mach3\\Mach3Mill.runs.csv");
}

}  // namespace

// The status line's text from its sources.
#include "counter/status_line.h"

#include <gtest/gtest.h>

namespace {

using tallymark::counter::StatusLine;
using tallymark::counter::StatusSource;

TEST(StatusLine, ShowsEachProblemOnItsOwnLineMostImportantFirstAndClearsEachAlone) {
  StatusLine line;
  EXPECT_EQ(line.text(), "");
  EXPECT_FALSE(line.set(StatusSource::Monitoring, "")) << "nothing was wrong";

  EXPECT_TRUE(line.set(StatusSource::CommandServer, "Commands: port 7000"));
  EXPECT_TRUE(line.set(StatusSource::Monitoring, "MTConnect: port 7878"));
  EXPECT_EQ(line.text(), "MTConnect: port 7878\nCommands: port 7000");
  EXPECT_TRUE(line.set(StatusSource::RunLog, "Run log: Mill.runs.csv"));
  EXPECT_EQ(line.text(), "Run log: Mill.runs.csv\nMTConnect: port 7878\nCommands: port 7000");
  EXPECT_FALSE(line.set(StatusSource::RunLog, "Run log: Mill.runs.csv")) << "the same again";

  EXPECT_TRUE(line.set(StatusSource::Monitoring, ""));
  EXPECT_EQ(line.text(), "Run log: Mill.runs.csv\nCommands: port 7000");
  EXPECT_TRUE(line.set(StatusSource::RunLog, "Run log: 3 runs waiting"));
  EXPECT_EQ(line.text(), "Run log: 3 runs waiting\nCommands: port 7000");
  EXPECT_TRUE(line.set(StatusSource::CommandServer, ""));
  EXPECT_TRUE(line.set(StatusSource::RunLog, ""));
  EXPECT_EQ(line.text(), "");
}

}  // namespace

// The run log's writer thread against a disk that can fail, come back or hang.
#include "runlog/writer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "fake_disk.h"
#include "runlog/csv_line.h"

namespace {

using tallymark::runlog::Event;
using tallymark::runlog::Record;
using tallymark::runlog::Writer;
using tallymark::runlog::WriterOptions;

const char kPath[] = "shop/mill.runs.csv";
const char kBom[] = "\xEF\xBB\xBF";

Record reset(int countBefore) {
  Record record;
  record.event = Event::Reset;
  record.at.local = tallymark::platform::LocalDateTime{2026, 12, 8, 10, 0, 0, 0};
  record.countBeforeReset = countBefore;
  return record;
}

std::string resetLine(int countBefore, const std::string& note = "") {
  return "reset,2026-12-08T10:00:00+00:00,,,,0,," + std::to_string(countBefore) + "," + note +
         "\r\n";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size() - 2;
    out.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

// Pushes as the tick does, then hands over until the record is in the queue (a push
// leaves it with the writer while the thread holds the lock).
void give(Writer& writer, const Record& record) {
  writer.push(record);
  while (writer.holdsRecords()) {
    std::this_thread::yield();
    writer.handOver();
  }
}

// takeProblem() answers false while the thread holds the lock: ask until it answers.
bool problemOf(Writer& writer, std::string& problem) {
  while (writer.problemPending()) {
    if (writer.takeProblem(problem)) return true;
    std::this_thread::yield();
  }
  return false;
}

class WriterTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeDisk> disk = std::make_shared<FakeDisk>();
  WriterOptions fastRetry{4096, std::chrono::milliseconds(1)};
};

TEST_F(WriterTest, ANewFileGetsTheHeaderWithTheFirstRecordThenOneWritePerLine) {
  Writer writer(kPath, disk->open());
  give(writer, reset(5));
  give(writer, reset(6));
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  const std::vector<std::string> appends = disk->appends(kPath);
  ASSERT_EQ(appends.size(), 3u);
  EXPECT_EQ(appends[0], std::string(tallymark::runlog::fileHeader()));
  EXPECT_EQ(appends[1], resetLine(5));
  EXPECT_EQ(appends[2], resetLine(6));

  Writer idle("idle.csv", disk->open());
  ASSERT_TRUE(idle.stop(std::chrono::hours(1)));
  EXPECT_TRUE(disk->appends("idle.csv").empty()) << "no file without a record";
}

TEST_F(WriterTest, ACutLastLineIsEndedAtStartAndACompleteFileIsLeftAsItIs) {
  const std::string cut = std::string(kBom) + "Event\r\n" + "counted,2026-12-0";
  disk->setFile(kPath, cut);
  {
    Writer writer(kPath, disk->open());
    give(writer, reset(1));
    ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  }
  EXPECT_EQ(disk->file(kPath), cut + "\r\n" + resetLine(1));
  EXPECT_EQ(disk->appends(kPath).back(), "\r\n" + resetLine(1))
      << "the mend travels with the next line, in one write";

  Writer again(kPath, disk->open());
  give(again, reset(2));
  ASSERT_TRUE(again.stop(std::chrono::hours(1)));
  EXPECT_EQ(disk->file(kPath), cut + "\r\n" + resetLine(1) + resetLine(2))
      << "no header, no blank line";
}

TEST_F(WriterTest, AFailingDiskIsReportedOnceAndTheRecordsWaitForItToComeBack) {
  disk->setFailing(true);
  Writer writer(kPath, disk->open(), fastRetry);
  give(writer, reset(1));
  give(writer, reset(2));
  disk->waitForFailures(3);  // tried again, and again
  std::string problem;
  ASSERT_TRUE(problemOf(writer, problem));
  EXPECT_EQ(problem, "Cannot open 'shop/mill.runs.csv': the disk is gone");
  disk->waitForFailures(6);
  EXPECT_FALSE(writer.problemPending()) << "once per failure, not once per try";

  disk->setFailing(false);
  disk->waitForAppends(3);
  EXPECT_EQ(disk->file(kPath),
            std::string(tallymark::runlog::fileHeader()) + resetLine(1) + resetLine(2));
  while (!writer.problemPending()) std::this_thread::yield();
  ASSERT_TRUE(problemOf(writer, problem));
  EXPECT_EQ(problem, "") << "the problem is gone, once";
  EXPECT_FALSE(writer.problemPending());

  disk->setFailing(true);
  give(writer, reset(3));
  disk->waitForFailures(7);
  while (!writer.problemPending()) std::this_thread::yield();
  EXPECT_TRUE(problemOf(writer, problem)) << "a new failure after a success is news again";
  disk->setFailing(false);
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  EXPECT_EQ(lines(disk->file(kPath)).back(), lines(resetLine(3)).front());
}

TEST_F(WriterTest, PastTheCapacityTheOldestAreDroppedAndTheNextLineSaysHowMany) {
  disk->setFailing(true);
  Writer writer(kPath, disk->open(), WriterOptions{8, std::chrono::milliseconds(1)});
  give(writer, reset(1));
  disk->waitForFailures(1);  // record 1 is in the writer's hands from now on
  for (int i = 2; i <= 100; ++i) give(writer, reset(i));
  disk->setFailing(false);
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));

  std::vector<std::string> expected = {lines(std::string(tallymark::runlog::fileHeader())).front(),
                                       lines(resetLine(1)).front(),
                                       lines(resetLine(93,
                                                       "\"91 earlier records lost, the log "
                                                       "could not keep up\""))
                                           .front()};
  for (int i = 94; i <= 100; ++i) expected.push_back(lines(resetLine(i)).front());
  EXPECT_EQ(lines(disk->file(kPath)), expected);
}

TEST_F(WriterTest, StopGivesUpOnAHungDiskAndTheThreadFinishesLater) {
  Writer writer(kPath, disk->open());
  disk->hold();
  give(writer, reset(1));
  disk->waitUntilSomeoneWaits();
  EXPECT_FALSE(writer.stop(std::chrono::milliseconds(1)));
  disk->release();  // the thread, left on its own, still finishes its writes
  disk->waitForAppends(2);
  EXPECT_EQ(disk->appends(kPath).back(), resetLine(1));
}

TEST_F(WriterTest, ANewPathTakesTheLaterRecords) {
  Writer writer(kPath, disk->open());
  give(writer, reset(1));
  disk->waitForAppends(2);
  writer.setPath("other.csv");
  give(writer, reset(2));
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  EXPECT_EQ(disk->file(kPath), std::string(tallymark::runlog::fileHeader()) + resetLine(1));
  EXPECT_EQ(disk->file("other.csv"), std::string(tallymark::runlog::fileHeader()) + resetLine(2));
}

}  // namespace

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
const char kSide[] = "shop/mill.runs.waiting.csv";
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

// The status once it reads `expected` (it passes through others on the way); takeProblem()
// answers false while the thread holds the lock, so it is asked until it answers.
void waitForStatus(Writer& writer, const std::string& expected, std::string* detail = nullptr) {
  std::string status = "(none yet)";
  while (status != expected) {
    if (!writer.takeProblem(status, detail)) std::this_thread::yield();
  }
}

std::string header() {
  return tallymark::runlog::fileHeader();
}

class WriterTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeDisk> disk = std::make_shared<FakeDisk>();
  WriterOptions fastRetry{4096, std::chrono::milliseconds(1)};
};

TEST_F(WriterTest, ANewFileGetsTheHeaderAndTheRowsAndTheSideFileIsGoneAfterwards) {
  Writer writer(kPath, disk->open());
  give(writer, reset(5));
  give(writer, reset(6));
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  EXPECT_EQ(disk->file(kPath), header() + resetLine(5) + resetLine(6));
  EXPECT_FALSE(disk->exists(kSide));
  for (const std::string& write : disk->appends(kPath)) {
    EXPECT_EQ(write.back(), '\n') << "every write holds whole lines: " << write;
  }

  Writer idle("idle.csv", disk->open());
  ASSERT_TRUE(idle.stop(std::chrono::hours(1)));
  EXPECT_FALSE(disk->exists("idle.csv")) << "no file without a record";
  EXPECT_FALSE(disk->exists("idle.waiting.csv"));
}

TEST_F(WriterTest, ACutLastLineGetsExactlyTheBytesItLacks) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;  // what the file holds before the new row
  };
  const std::string start = std::string(kBom) + "Event\r\n";
  const Case cases[] = {
      {"a line cut in a field is ended", start + "counted,2026-12-0",
       start + "counted,2026-12-0\r\n"},
      {"a line cut between CR and LF gets its LF only", start + resetLine(7).substr(0, 41),
       start + resetLine(7)},
      {"a complete file is left as it is: no header, no blank line", start + resetLine(7),
       start + resetLine(7)},
      {"a header cut short is finished", header().substr(0, 20), header()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    disk->setFile(kPath, c.before);
    Writer writer(kPath, disk->open());
    give(writer, reset(1));
    ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
    EXPECT_EQ(disk->file(kPath), c.after + resetLine(1));
  }
}

TEST_F(WriterTest, WhileTheLogIsHeldTheRowsWaitInTheSideFileAndMoveInOrderWhenItIsFree) {
  Writer writer(kPath, disk->open(), fastRetry);
  give(writer, reset(1));
  disk->waitFor([](auto& files) { return files.count(kPath) && !files.count(kSide); });
  disk->setInUse(kPath, true);
  for (int i = 2; i <= 4; ++i) give(writer, reset(i));
  // On the disk, in the log's own format. (The status counts a record the thread holds
  // as waiting too, so it may read "3 runs" before the third row is in the file.)
  const std::string waiting = header() + resetLine(2) + resetLine(3) + resetLine(4);
  disk->waitFor([&](auto& files) { return files.count(kSide) && files.at(kSide) == waiting; });
  waitForStatus(writer, "Run log: mill.runs.csv is in use by another program - 3 runs waiting");
  EXPECT_EQ(disk->file(kPath), header() + resetLine(1));

  disk->setInUse(kPath, false);
  waitForStatus(writer, "");
  EXPECT_EQ(disk->file(kPath),
            header() + resetLine(1) + resetLine(2) + resetLine(3) + resetLine(4));
  EXPECT_FALSE(disk->exists(kSide));
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
}

TEST_F(WriterTest, RowsLeftInTheSideFileAtStopMoveAtTheNextStart) {
  disk->setFile(kPath, header() + resetLine(1));
  disk->setInUse(kPath, true);
  {
    Writer host(kPath, disk->open(), fastRetry);
    for (int i = 2; i <= 3; ++i) give(host, reset(i));
    ASSERT_TRUE(host.stop(std::chrono::hours(1)));
  }
  EXPECT_EQ(disk->file(kSide), header() + resetLine(2) + resetLine(3));
  disk->setInUse(kPath, false);
  Writer next(kPath, disk->open());
  ASSERT_TRUE(next.stop(std::chrono::hours(1))) << "no record needed: the start moves them";
  EXPECT_EQ(disk->file(kPath), header() + resetLine(1) + resetLine(2) + resetLine(3));
  EXPECT_FALSE(disk->exists(kSide));
}

TEST_F(WriterTest, WhenNeitherFileCanBeWrittenTheRowsWaitInMemoryAndTheOperatorIsTold) {
  disk->setFailing(true);
  Writer writer(kPath, disk->open(), fastRetry);
  give(writer, reset(1));
  give(writer, reset(2));
  // The thread may have tried with the first record alone ("1 run waiting") before the
  // second arrived; its next try counts both.
  std::string detail;
  waitForStatus(writer, "Run log: mill.runs.csv cannot be written - 2 runs waiting in memory",
                &detail);
  EXPECT_EQ(detail, "Cannot open 'shop/mill.runs.csv': the disk is gone");
  disk->waitForFailures(8);
  EXPECT_FALSE(writer.problemPending()) << "news when it changes, not once per try";

  disk->setFailing(false);
  waitForStatus(writer, "");
  EXPECT_EQ(disk->file(kPath), header() + resetLine(1) + resetLine(2));
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
}

TEST_F(WriterTest, PastTheCapacityTheOldestAreDroppedAndTheNextLineSaysHowMany) {
  disk->setFailing(true);
  Writer writer(kPath, disk->open(), WriterOptions{8, std::chrono::milliseconds(1)});
  give(writer, reset(1));
  disk->waitForFailures(1);  // record 1 is in the writer's hands from now on
  for (int i = 2; i <= 100; ++i) give(writer, reset(i));
  disk->setFailing(false);
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));

  std::vector<std::string> expected = {lines(header()).front(), lines(resetLine(1)).front(),
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
  disk->waitFor([](auto& files) { return files.count(kPath) && !files.count(kSide); });
  EXPECT_EQ(disk->file(kPath), header() + resetLine(1));
}

TEST_F(WriterTest, ANewPathTakesTheLaterRecords) {
  Writer writer(kPath, disk->open());
  give(writer, reset(1));
  disk->waitFor([](auto& files) { return files.count(kPath) && !files.count(kSide); });
  writer.setPath("other.csv");
  give(writer, reset(2));
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  EXPECT_EQ(disk->file(kPath), header() + resetLine(1));
  EXPECT_EQ(disk->file("other.csv"), header() + resetLine(2));
}

TEST_F(WriterTest, ASemicolonSeparatorReachesTheHeaderAndEveryRow) {
  Writer writer(kPath, disk->open(), WriterOptions{16, std::chrono::milliseconds(1), ';'});
  Record run = reset(3);
  run.event = Event::Counted;
  run.qualifier = 1.5;
  give(writer, run);
  ASSERT_TRUE(writer.stop(std::chrono::hours(1)));
  EXPECT_EQ(disk->file(kPath),
            std::string(kBom) +
                "Event;Time;Run started;Run seconds;DRO 22;Count;Total;Count before reset;Note\r\n"
                "counted;2026-12-08T10:00:00+00:00;1899-12-30T00:00:00+00:00;0.0;1.5;0;0;;\r\n");
}

// A crash or power cut at any change the writer makes to either file, cutting that
// write anywhere, then a new start: every row that was whole on the disk (in the log or
// the side file) when the power went is in the log exactly once, in order, and nothing
// else is (no half row, no row twice). The day goes: two rows while the log is free,
// three while a spreadsheet holds it, the spreadsheet closes, one more row.
TEST_F(WriterTest, ACrashAtAnyWriteLosesNoRowThatReachedTheDiskAndDoublesNone) {
  auto day = [](FakeDisk& d) {
    auto has = [](int i) {
      return [i](const std::map<std::string, std::string>& files) {
        for (const auto& [path, contents] : files) {
          if (contents.find(resetLine(i)) != std::string::npos) return true;
        }
        return false;
      };
    };
    auto inLog = [](int i) {
      return [i](const std::map<std::string, std::string>& files) {
        auto log = files.find(kPath);
        return log != files.end() && log->second.find(resetLine(i)) != std::string::npos &&
               !files.count(kSide);
      };
    };
    Writer writer(kPath, d.open(), WriterOptions{4096, std::chrono::milliseconds(1)});
    // One row at a time, so that every run makes the same changes in the same order.
    for (int i = 1; i <= 2; ++i) {
      give(writer, reset(i));
      d.waitFor(inLog(i));
    }
    d.setInUse(kPath, true);
    for (int i = 3; i <= 5; ++i) {
      give(writer, reset(i));
      d.waitFor(has(i));
    }
    d.setInUse(kPath, false);
    d.waitFor(inLog(5));
    give(writer, reset(6));
    writer.stop(std::chrono::hours(1));
  };
  std::string all;
  for (int i = 1; i <= 6; ++i) all += resetLine(i);
  size_t changes = 0;
  {
    auto clean = std::make_shared<FakeDisk>();
    day(*clean);
    ASSERT_EQ(clean->file(kPath), header() + all);
    changes = clean->changes();
    ASSERT_GE(changes, 8u);
  }

  const FakeDisk::Cut cuts[] = {FakeDisk::Cut::Nothing, FakeDisk::Cut::Half,
                                FakeDisk::Cut::AllButOne, FakeDisk::Cut::All};
  for (size_t at = 0; at < changes; ++at) {
    for (FakeDisk::Cut cut : cuts) {
      SCOPED_TRACE("crash at change " + std::to_string(at) + ", cut " +
                   std::to_string(static_cast<int>(cut)));
      auto d = std::make_shared<FakeDisk>();
      d->crashAt(at, cut);
      day(*d);
      ASSERT_TRUE(d->crashed());
      std::string whole;  // the rows whole on the disk at the crash, in order
      for (int i = 1; i <= 6; ++i) {
        const std::string row = resetLine(i);
        if (d->file(kPath).find(row) != std::string::npos ||
            d->file(kSide).find(row) != std::string::npos) {
          whole += row;
        }
      }
      d->restart();
      Writer next(kPath, d->open());
      ASSERT_TRUE(next.stop(std::chrono::hours(1)));
      EXPECT_EQ(d->file(kPath), whole.empty() && d->file(kPath).empty() ? "" : header() + whole);
      EXPECT_FALSE(d->exists(kSide));
      if (at + 1 == changes) {
        EXPECT_EQ(whole, all) << "the last change only removes the side file";
      }
    }
  }
}

}  // namespace

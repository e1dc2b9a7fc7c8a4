// The run log's text: lines as a spreadsheet reads them, and where the file lives.
#include "runlog/csv_line.h"

#include <gtest/gtest.h>

#include <string>

#include "runlog/log_path.h"

namespace {

using tallymark::platform::LocalDateTime;
using tallymark::platform::ZonedDateTime;
using tallymark::runlog::appendField;
using tallymark::runlog::Event;
using tallymark::runlog::fileHeader;
using tallymark::runlog::formatLine;
using tallymark::runlog::formatTimestamp;
using tallymark::runlog::kMaxLineSize;
using tallymark::runlog::Record;
using tallymark::runlog::runLogPath;

ZonedDateTime at(int hour, int minute, int second, int offset = 420) {
  return ZonedDateTime{LocalDateTime{2026, 12, 8, hour, minute, second, 999}, offset};
}

std::string line(const Record& record) {
  char out[kMaxLineSize];
  return std::string(out, formatLine(record, out));
}

std::string stamp(const ZonedDateTime& when) {
  char out[32];
  return std::string(out, formatTimestamp(when, out));
}

TEST(RunLogText, HeaderStartsWithTheByteOrderMarkAndEndsWithCrLf) {
  EXPECT_EQ(std::string(fileHeader()),
            "\xEF\xBB\xBF"
            "Event,Time,Run started,Run seconds,DRO 22,Count,Total,Count before reset,Note\r\n");
}

TEST(RunLogText, EachEventHasItsFieldsInTheHeadersColumns) {
  Record counted;
  counted.event = Event::Counted;
  counted.at = at(14, 3, 7);
  counted.started = at(14, 2, 55);
  counted.durationMs = 12340;
  counted.qualifier = 0.1;
  counted.count = 6;
  counted.total = -2147483647 - 1;
  EXPECT_EQ(
      line(counted),
      "counted,2026-12-08T14:03:07+07:00,2026-12-08T14:02:55+07:00,12.3,0.1,6,-2147483648,,\r\n");

  Record aborted = counted;
  aborted.event = Event::NotCounted;
  aborted.qualifier = 5;  // not shown: the run never qualified
  EXPECT_EQ(
      line(aborted),
      "not counted,2026-12-08T14:03:07+07:00,2026-12-08T14:02:55+07:00,12.3,,6,-2147483648,,\r\n");

  Record reset;
  reset.event = Event::Reset;
  reset.at = at(9, 0, 0);
  reset.countBeforeReset = 41;
  reset.count = 7;  // runs only
  EXPECT_EQ(line(reset), "reset,2026-12-08T09:00:00+07:00,,,,0,,41,\r\n");
}

TEST(RunLogText, DroppedRecordsAreNamedInAQuotedNote) {
  Record record;
  record.event = Event::Reset;
  record.at = at(9, 0, 0);
  record.droppedBefore = 1;
  EXPECT_EQ(line(record),
            "reset,2026-12-08T09:00:00+07:00,,,,0,,0,\"1 earlier record lost, the log could not "
            "keep up\"\r\n");
  record.droppedBefore = 4000;
  EXPECT_NE(line(record).find("\"4000 earlier records lost,"), std::string::npos);
}

TEST(RunLogText, DurationsRoundToTenthsAndNumbersReadBackExactly) {
  Record run;
  run.event = Event::Counted;
  auto seconds = [&](uint32_t ms) {
    run.durationMs = ms;
    std::string text = line(run);
    size_t field = 0;
    for (int comma = 0; comma < 3; ++comma) field = text.find(',', field) + 1;
    return text.substr(field, text.find(',', field) - field);
  };
  EXPECT_EQ(seconds(0), "0.0");
  EXPECT_EQ(seconds(49), "0.0");
  EXPECT_EQ(seconds(50), "0.1");
  EXPECT_EQ(seconds(59950), "60.0");
  EXPECT_EQ(seconds(4294967295u), "4294967.3");
  run.qualifier = 1.0 / 3.0;
  EXPECT_NE(line(run).find(",0.3333333333333333,"), std::string::npos) << line(run);
}

TEST(RunLogText, TimestampsCarryTheirOffsetWithASign) {
  EXPECT_EQ(stamp(at(0, 0, 0, 0)), "2026-12-08T00:00:00+00:00");
  EXPECT_EQ(stamp(at(23, 59, 59, -300)), "2026-12-08T23:59:59-05:00");
  EXPECT_EQ(stamp(at(12, 30, 1, 345)), "2026-12-08T12:30:01+05:45");
}

TEST(RunLogText, FieldsAreQuotedOnlyWhenTheyMustBe) {
  auto field = [](const std::string& text, size_t capacity = 64) {
    char out[64];
    return std::string(out, appendField(text, out, 0, capacity));
  };
  EXPECT_EQ(field("not counted"), "not counted");
  EXPECT_EQ(field("a,b"), "\"a,b\"");
  EXPECT_EQ(field("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(field("two\r\nlines"), "\"two\r\nlines\"");
  // Cut to fit, a quoted field keeps its closing quote and never splits a doubled one.
  EXPECT_EQ(field("abcdef", 4), "abcd");
  EXPECT_EQ(field("a,bcdef", 4), "\"a,\"");
  EXPECT_EQ(field("a\"b", 4), "\"a\"");
}

TEST(RunLogPath, BesideTheProfileUnlessTheSettingSaysOtherwise) {
  EXPECT_EQ(runLogPath("C:\\Mach3\\Mach3Mill.xml", ""), "C:\\Mach3\\Mach3Mill.runs.csv");
  EXPECT_EQ(runLogPath("C:\\a.b\\profile", ""), "C:\\a.b\\profile.runs.csv");
  EXPECT_EQ(runLogPath("Mach3Mill.xml", ""), "Mach3Mill.runs.csv");
  EXPECT_EQ(runLogPath("C:\\Mach3\\.xml", ""), "C:\\Mach3\\.xml.runs.csv");
  EXPECT_EQ(runLogPath("C:\\Mach3\\Mach3Mill.xml", "logs\\runs.csv"), "C:\\Mach3\\logs\\runs.csv");
  EXPECT_EQ(runLogPath("C:\\Mach3\\Mach3Mill.xml", "D:\\shop\\runs.csv"), "D:\\shop\\runs.csv");
  EXPECT_EQ(runLogPath("/home/op/mill.xml", "/var/log/runs.csv"), "/var/log/runs.csv");
  EXPECT_EQ(runLogPath("mill.xml", "runs.csv"), "runs.csv");
}

}  // namespace

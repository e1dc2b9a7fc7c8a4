// The SHDR text the adapter writes and the agent commands it reads, without sockets.
#include "mtconnect/shdr.h"

#include <gtest/gtest.h>

#include <string>

#include "mtconnect/adapter.h"

namespace {

using namespace tallymark::mtconnect;

std::string timestamp(int64_t ms) {
  char out[32];
  size_t length = shdr::formatTimestamp(ms, out);
  return std::string(out, length);
}

std::string line(int64_t ms, const Observations& now, const Observations* before) {
  char out[shdr::kLineCapacity];
  return std::string(out, shdr::composeLine(ms, now, before, out));
}

Observations running() {
  Observations values;
  values.available = true;
  values.execution = Execution::Ready;
  values.partCount = 5;
  values.totalPartCount = 120;
  values.cycleTimeSeconds = 12.3;
  values.lastResetUtcMs = 1796739787000;  // 2026-12-08T14:23:07Z
  return values;
}

TEST(ShdrTimestamp, UtcCalendarToTheMillisecond) {
  EXPECT_EQ(timestamp(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(timestamp(1796739787123), "2026-12-08T14:23:07.123Z");
  EXPECT_EQ(timestamp(951782400000), "2000-02-29T00:00:00.000Z");  // a leap day
  EXPECT_EQ(timestamp(-1), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(timestamp(-2208988800000), "1900-01-01T00:00:00.000Z");
  // Beyond four-digit years the text would no longer be ISO 8601's basic form.
  EXPECT_EQ(timestamp(INT64_MAX), "9999-12-31T23:59:59.999Z");
  EXPECT_EQ(timestamp(INT64_MIN), "0000-01-01T00:00:00.000Z");
}

TEST(ShdrLine, FirstLineCarriesEveryItemInOrder) {
  EXPECT_EQ(line(1796739787123, running(), nullptr),
            "2026-12-08T14:23:07.123Z|avail|AVAILABLE|execution|READY|part_count|5"
            "|total_part_count|120|cycle_time|12.300|last_reset|2026-12-08T14:23:07.000Z\n");
  EXPECT_EQ(line(0, Observations{}, nullptr),
            "1970-01-01T00:00:00.000Z|avail|UNAVAILABLE|execution|UNAVAILABLE"
            "|part_count|UNAVAILABLE|total_part_count|UNAVAILABLE|cycle_time|UNAVAILABLE"
            "|last_reset|UNAVAILABLE\n");
}

TEST(ShdrLine, LaterLinesCarryOnlyWhatChanged) {
  Observations before = running();
  EXPECT_EQ(line(0, before, &before), "");

  Observations counted = before;
  counted.partCount = 6;
  counted.totalPartCount = 121;
  counted.cycleTimeSeconds = 9.75;
  EXPECT_EQ(line(0, counted, &before),
            "1970-01-01T00:00:00.000Z|part_count|6|total_part_count|121|cycle_time|9.750\n");

  Observations active = before;
  active.execution = Execution::Active;
  EXPECT_EQ(line(0, active, &before), "1970-01-01T00:00:00.000Z|execution|ACTIVE\n");

  Observations stopped = before;
  stopped.available = false;
  stopped.execution = Execution::Unavailable;
  stopped.partCount.reset();
  EXPECT_EQ(line(0, stopped, &before),
            "1970-01-01T00:00:00.000Z|avail|UNAVAILABLE|execution|UNAVAILABLE"
            "|part_count|UNAVAILABLE\n");

  // A change below the text's resolution is no change to the agent.
  Observations same = before;
  same.cycleTimeSeconds = 12.3000001;
  EXPECT_EQ(line(0, same, &before), "");
}

TEST(ShdrLine, ValuesThatCannotBeTextAreUnavailable) {
  Observations values = running();
  char out[shdr::kValueCapacity];
  for (double bad : {-1.0, 1e12, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()}) {
    values.cycleTimeSeconds = bad;
    shdr::formatValue(values, shdr::kCycleTime, out);
    EXPECT_STREQ(out, "UNAVAILABLE") << bad;
  }
  values.partCount = INT32_MIN;
  values.totalPartCount = INT32_MAX;
  shdr::formatValue(values, shdr::kPartCount, out);
  EXPECT_STREQ(out, "-2147483648");
  shdr::formatValue(values, shdr::kTotalPartCount, out);
  EXPECT_STREQ(out, "2147483647");
  // The longest line fits its buffer.
  values.cycleTimeSeconds = 999999999.999;
  values.lastResetUtcMs = INT64_MIN;
  EXPECT_LT(line(INT64_MAX, values, nullptr).size(), shdr::kLineCapacity);
}

// The batch target's two items exist for an agent only while the target is on: off, not
// even UNAVAILABLE is sent, so an agent's view of a plug-in without it is as before.
TEST(ShdrLine, TheBatchItemsAreSentOnlyWhileTheTargetIsOn) {
  Observations off = running();
  off.partCountTarget = 100;  // ignored without batchItems
  EXPECT_EQ(line(0, off, nullptr).find("part_count_target"), std::string::npos);

  Observations on = running();
  on.batchItems = true;
  on.partCountTarget = 100;
  on.partCountRemaining = 95;
  EXPECT_EQ(line(0, on, nullptr),
            "1970-01-01T00:00:00.000Z|avail|AVAILABLE|execution|READY|part_count|5"
            "|total_part_count|120|cycle_time|12.300|last_reset|2026-12-08T14:23:07.000Z"
            "|part_count_target|100|part_count_remaining|95\n");
  EXPECT_EQ(line(0, on, &off),
            "1970-01-01T00:00:00.000Z|part_count_target|100"
            "|part_count_remaining|95\n");
  Observations later = on;
  later.partCount = 6;
  later.partCountRemaining = 94;
  EXPECT_EQ(line(0, later, &on), "1970-01-01T00:00:00.000Z|part_count|6|part_count_remaining|94\n");
  // Switched off: the agent is told once that the values are gone, then nothing.
  EXPECT_EQ(line(0, off, &later),
            "1970-01-01T00:00:00.000Z|part_count|5|part_count_target|UNAVAILABLE"
            "|part_count_remaining|UNAVAILABLE\n");
  EXPECT_EQ(line(0, off, &off), "");
  // A count the rule did not read leaves what remains unknown.
  Observations unknown = on;
  unknown.partCountRemaining.reset();
  EXPECT_EQ(line(0, unknown, &on), "1970-01-01T00:00:00.000Z|part_count_remaining|UNAVAILABLE\n");
}

TEST(ShdrCommands, PingsAreCountedWhereverTheReceivesSplitThem) {
  shdr::CommandReader reader;
  EXPECT_EQ(reader.receive("* PING\n* PING\r\n", 15), 2u);
  EXPECT_EQ(reader.receive("* PI", 4), 0u);
  EXPECT_EQ(reader.receive("NG", 2), 0u);
  EXPECT_EQ(reader.receive("\r", 1), 0u);
  EXPECT_EQ(reader.receive("\n", 1), 1u);
}

TEST(ShdrCommands, EverythingElseIsIgnored) {
  shdr::CommandReader reader;
  const std::string noise =
      "* PINGS\n*PING\n * PING\n* ping\n2026-01-01T00:00:00Z|x|1\n\n\r\n* PONG 10\n";
  EXPECT_EQ(reader.receive(noise.data(), noise.size()), 0u);
  const char binary[] = {'\0', '\xff', '|', '\n', '\0', '*', ' ', 'P', 'I', 'N', 'G', '\n'};
  EXPECT_EQ(reader.receive(binary, sizeof binary), 0u);
  EXPECT_EQ(reader.receive("* PING\n", 7), 1u);
}

TEST(ShdrCommands, AnOverlongLineIsDroppedUpToItsEnd) {
  shdr::CommandReader reader;
  // The line's first bytes read "* PING", but the line goes on past the limit.
  std::string longLine = "* PING" + std::string(shdr::CommandReader::kMaxLine, ' ');
  EXPECT_EQ(reader.receive(longLine.data(), longLine.size()), 0u);
  std::string more(100000, 'x');
  EXPECT_EQ(reader.receive(more.data(), more.size()), 0u);
  EXPECT_EQ(reader.receive("\n* PING\n", 8), 1u);
}

TEST(ListenAddress, DottedIpv4OrEmpty) {
  uint32_t address = 1;
  ASSERT_TRUE(parseListenAddress("", address));
  EXPECT_EQ(address, 0u);
  ASSERT_TRUE(parseListenAddress("  ", address));
  EXPECT_EQ(address, 0u);
  ASSERT_TRUE(parseListenAddress(" 192.168.1.20 ", address));
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
  EXPECT_EQ(bytes[0], 192);
  EXPECT_EQ(bytes[1], 168);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[3], 20);
  for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1..2.3", "localhost", "1.2.3.4x",
                          "-1.2.3.4", "0001.2.3.4", "1.2.3.4 5", "::1"}) {
    EXPECT_FALSE(parseListenAddress(bad, address)) << bad;
  }
}

}  // namespace

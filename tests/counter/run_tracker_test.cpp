// The runs' times from the rule's outcomes, against a test clock.
#include "counter/run_tracker.h"

#include <gtest/gtest.h>

namespace {

using tallymark::counter::RunEvent;
using tallymark::counter::RunInstant;
using tallymark::counter::RunTracker;
using tallymark::counter::TickOutcome;

class RunTrackerTest : public ::testing::Test {
 protected:
  // Each tick of the test clock is a second later, on the wall clock and the monotonic.
  RunTracker tracker{[this] {
    ++reads;
    RunInstant instant;
    instant.wall.local.second = seconds;
    instant.wall.utcOffsetMinutes = 60;
    instant.monotonicMs = monotonic;
    return instant;
  }};
  int reads = 0;
  int seconds = 0;
  uint32_t monotonic = 0;

  static TickOutcome outcome() {
    TickOutcome o;
    o.ran = true;
    return o;
  }
  static TickOutcome started(double qualifier = 0.0) {
    TickOutcome o = outcome();
    o.ledLit = o.runStarted = true;
    o.qualified = qualifier > 0.0;
    o.qualifier = qualifier;
    return o;
  }
  static TickOutcome counted(int32_t count, int32_t total) {
    TickOutcome o = outcome();
    o.runCounted = true;
    o.count = count;
    o.total = total;
    return o;
  }
};

TEST_F(RunTrackerTest, AnUnqualifiedRunIsTimedButLeavesTheCycleTimeAlone) {
  EXPECT_FALSE(tracker.lastCycleMs().has_value());
  monotonic = 4294967000u;  // the monotonic clock wraps during the run
  tracker.follow(started(1.0));
  monotonic = 704;
  TickOutcome end = outcome();
  end.runNotCounted = true;
  end.count = 3;
  RunTracker::Events events = tracker.follow(end);
  ASSERT_EQ(events.size, 1);
  EXPECT_EQ(events.event[0].kind, RunEvent::Kind::NotCounted);
  EXPECT_EQ(events.event[0].durationMs, 1000u);
  EXPECT_EQ(events.event[0].qualifier, 0.0);
  EXPECT_FALSE(tracker.lastCycleMs().has_value());
}

TEST_F(RunTrackerTest, AResetComesBeforeTheRunThatEndsOnTheSameTick) {
  tracker.follow(started(1.0));
  seconds = 3;
  monotonic = 3000;
  TickOutcome both = counted(1, 51);
  both.resetApplied = true;
  both.countBeforeReset = 9;
  RunTracker::Events events = tracker.follow(both);
  ASSERT_EQ(events.size, 2);
  EXPECT_EQ(events.event[0].kind, RunEvent::Kind::Reset);
  EXPECT_EQ(events.event[0].countBeforeReset, 9);
  EXPECT_EQ(events.event[0].at.local.second, 3);
  EXPECT_EQ(events.event[1].kind, RunEvent::Kind::Counted);
  EXPECT_EQ(events.event[1].count, 1);
  EXPECT_EQ(events.event[1].durationMs, 3000u);
  EXPECT_EQ(reads, 2) << "one reading serves both";
}

TEST_F(RunTrackerTest, QuietTicksAndARuleThatDidNotRunReadNoClock) {
  EXPECT_EQ(tracker.follow(outcome()).size, 0);
  TickOutcome notRun;
  notRun.runCounted = true;  // nothing of it holds when the rule did not run
  EXPECT_EQ(tracker.follow(notRun).size, 0);
  EXPECT_EQ(reads, 0);
  // An end whose start this tracker never saw is timed from the end.
  seconds = 8;
  RunTracker::Events events = tracker.follow(counted(1, 1));
  ASSERT_EQ(events.size, 1);
  EXPECT_EQ(events.event[0].durationMs, 0u);
  EXPECT_EQ(events.event[0].started.local.second, 8);
}

}  // namespace

#include "production.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tallymark::hostsim {
namespace {

struct Trace {
  int runsSeen = 0;   // off -> lit edges
  int runsEnded = 0;  // lit -> off edges
  int ticks = 0;
  bool lastLed = false;
};

// Ticks every `stepMs` until the mode ends, as the update timer would.
Trace drive(Production& p, int64_t stepMs, int64_t startMs = 0) {
  Trace t;
  for (int64_t now = startMs; p.active() && t.ticks < 100000; now += stepMs) {
    bool led = p.ledForTick(now);
    if (led && !t.lastLed) ++t.runsSeen;
    if (!led && t.lastLed) ++t.runsEnded;
    t.lastLed = led;
    ++t.ticks;
  }
  return t;
}

TEST(ProductionMode, RejectsRunsAndPausesAnUpdateTickCouldMiss) {
  EXPECT_EQ(Production::check(5, 2.0, 1.0), "");
  EXPECT_EQ(Production::check(1, 0.3, 0.3), "");
  EXPECT_NE(Production::check(0, 2.0, 1.0), "");
  EXPECT_NE(Production::check(5, 0.1, 1.0), "");
  EXPECT_NE(Production::check(5, 2.0, 0.29), "");
  EXPECT_NE(Production::check(5, std::nan(""), 1.0), "");
}

TEST(ProductionMode, EachRunIsLitThenPutOutAndTheModeEndsAfterTheLastPause) {
  Production p;
  p.start(3, 1.0, 0.5, 1000);
  EXPECT_EQ(p.currentRun(), 1);
  Trace t = drive(p, 100, 1000);
  EXPECT_EQ(t.runsSeen, 3);
  EXPECT_EQ(t.runsEnded, 3);
  EXPECT_FALSE(t.lastLed);
  EXPECT_FALSE(p.active());
  EXPECT_EQ(p.currentRun(), 0);
  // Three runs of ten ticks and three pauses of five, give or take a tick each.
  EXPECT_NEAR(t.ticks, 45, 6);
}

TEST(ProductionMode, LateTicksStretchRunsInsteadOfSwallowingThem) {
  Production p;
  p.start(4, 0.3, 0.3, 0);
  Trace t = drive(p, 5000);  // every tick far later than a whole run and pause
  EXPECT_EQ(t.runsSeen, 4);
  EXPECT_EQ(t.runsEnded, 4);
}

TEST(ProductionMode, StopPutsTheLedOutAtOnce) {
  Production p;
  p.start(2, 1.0, 1.0, 0);
  EXPECT_TRUE(p.ledForTick(0));
  p.stop();
  EXPECT_FALSE(p.active());
  EXPECT_FALSE(p.ledForTick(100));
}

TEST(ProductionMode, CountsRunsFromOne) {
  Production p;
  p.start(2, 0.5, 0.5, 0);
  p.ledForTick(0);
  EXPECT_EQ(p.currentRun(), 1);
  p.ledForTick(600);  // pause after run 1
  EXPECT_EQ(p.currentRun(), 1);
  p.ledForTick(1200);
  EXPECT_EQ(p.currentRun(), 2);
  EXPECT_EQ(p.runs(), 2);
}

}  // namespace
}  // namespace tallymark::hostsim

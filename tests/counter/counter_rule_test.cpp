// The counter rule, tick by tick, against a fake host.
#include "counter/counter_rule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "counter/counter_window.h"
#include "fake_host.h"

namespace {

namespace counter = tallymark::counter;
using counter::countFromDro;
using counter::nextCount;

class CounterRuleTest : public ::testing::Test {
 protected:
  counter::TickOutcome tick() { return counter::counterTick(&window, host.counterAccess()); }
  // One lit period of `litTicks` ticks with DRO 22 at `qualifier`, then one tick off.
  void run(double qualifier, int litTicks = 3) {
    host.setDro(22, qualifier);
    host.setLed(804, true);
    for (int i = 0; i < litTicks; ++i) tick();
    host.setLed(804, false);
    tick();
  }
  bool logged(const std::string& call) const {
    return std::find(host.log.begin(), host.log.end(), call) != host.log.end();
  }

  FakeHost host{FakeHost::NotInstalled{}};
  DAZADA_RUVAZIDU window;
};

TEST(CountFromDro, TruncatesTowardZeroAndClampsWhatDoesNotFit) {
  EXPECT_EQ(countFromDro(5.7), 5);
  EXPECT_EQ(countFromDro(-3.5), -3);
  EXPECT_EQ(countFromDro(std::nan("")), 0);
  EXPECT_EQ(countFromDro(1e12), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(countFromDro(-1e12), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(countFromDro(std::numeric_limits<double>::infinity()), 2147483647);
  EXPECT_EQ(countFromDro(2147483647.9), 2147483647);
  EXPECT_EQ(countFromDro(-2147483648.9), -2147483647 - 1);
  EXPECT_EQ(nextCount(2147483647), 2147483647);
  EXPECT_EQ(nextCount(-1), 0);
}

TEST_F(CounterRuleTest, LabelsStartAtZerosThenFollowTheDros) {
  EXPECT_EQ(window.lblCountVal.text(), "00000");
  EXPECT_EQ(window.lblTotalCount.text(), "00000");
  host.setDro(1500, 12);
  host.setDro(1501, 345.9);
  host.setDro(1502, 46000.5);
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "12");
  EXPECT_EQ(window.lblTotalCount.text(), "345");
  EXPECT_EQ(window.dtValue2, 46000.5);
  host.setDro(1500, -3.5);  // the operator edits the DRO: the label follows
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "-3");
}

TEST_F(CounterRuleTest, LabelsChangeOnlyWhenTheFigureChanges) {
  int changes = 0;
  window.lblCountVal.bind([&](const std::string&) { ++changes; });
  host.setDro(1500, 7);
  for (int i = 0; i < 5; ++i) tick();
  EXPECT_EQ(changes, 1);
}

TEST_F(CounterRuleTest, QualifiedRunIsCountedOnceWhenTheLedGoesOff) {
  host.setDro(1500, 4);
  host.setDro(1501, 100);
  host.setDro(22, 1);
  host.setLed(804, true);
  tick();
  host.setDro(22, 0);  // falling to 0 after arming does not disarm
  tick();
  tick();
  EXPECT_EQ(host.dro(1500), 4);
  host.setLed(804, false);
  tick();
  EXPECT_EQ(host.dro(1500), 5);
  EXPECT_EQ(host.dro(1501), 101);
  tick();
  tick();
  EXPECT_EQ(host.dro(1500), 5) << "counted once only";
  EXPECT_EQ(window.lblCountVal.text(), "5");
}

TEST_F(CounterRuleTest, RunIsNotCountedWithoutAPositiveQualifier) {
  for (double q : {0.0, -1.0, std::nan("")}) {
    run(q);
    EXPECT_EQ(host.dro(1500), 0) << q;
    EXPECT_EQ(host.dro(1501), 0) << q;
  }
  // One qualifying tick anywhere in the lit period is enough.
  host.setDro(22, 0);
  host.setLed(804, true);
  tick();
  host.setDro(22, 2);
  tick();
  host.setDro(22, 0);
  tick();
  host.setLed(804, false);
  tick();
  EXPECT_EQ(host.dro(1500), 1);
}

TEST_F(CounterRuleTest, LedOffForOneTickMidRunCountsTwoRuns) {
  run(1);
  run(1, 1);
  EXPECT_EQ(host.dro(1500), 2);
  EXPECT_EQ(host.dro(1501), 2);
}

TEST_F(CounterRuleTest, RunAlreadyLitOnTheFirstTickIsCounted) {
  host.setDro(22, 1);
  host.setLed(804, true);
  tick();
  host.setLed(804, false);
  tick();
  EXPECT_EQ(host.dro(1500), 1);
}

TEST_F(CounterRuleTest, QualifierIsReadOnlyWhileTheLedIsLit) {
  tick();
  EXPECT_FALSE(logged("GetDRO 22"));
  host.setLed(804, true);
  tick();
  EXPECT_TRUE(logged("GetDRO 22"));
}

TEST_F(CounterRuleTest, FractionsAreDroppedAndCountsWrittenWhole) {
  host.setDro(1500, 5.7);
  host.setDro(1501, -3.5);
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "5");
  EXPECT_EQ(window.lblTotalCount.text(), "-3");
  run(1);
  EXPECT_EQ(host.dro(1500), 6);
  EXPECT_EQ(host.dro(1501), -2);
}

TEST_F(CounterRuleTest, OutOfRangeAndNanDrosAreShownClampedAndCountOn) {
  host.setDro(1500, std::nan(""));
  host.setDro(1501, 1e15);
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "0");
  EXPECT_EQ(window.lblTotalCount.text(), "2147483647");
  run(1);
  EXPECT_EQ(host.dro(1500), 1);
  EXPECT_EQ(host.dro(1501), 2147483647) << "the total stays at the largest count";
  host.setDro(1500, -1e15);
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "-2147483648");
}

TEST_F(CounterRuleTest, ResetZeroesTheCountAndStampsTheTimeOnTheNextTick) {
  host.setDro(1500, 9);
  host.setDro(1501, 50);
  tick();
  window.ResetCounter = true;
  window.dtValue = 46001.25;
  tick();
  EXPECT_FALSE(window.ResetCounter);
  EXPECT_EQ(host.dro(1500), 0);
  EXPECT_EQ(host.dro(1501), 50) << "a reset never touches the total";
  EXPECT_EQ(host.dro(1502), 46001.25);
  EXPECT_EQ(window.lblCountVal.text(), "9") << "the reset tick still shows the old figure";
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "0");
  EXPECT_EQ(window.dtValue2, 46001.25);
}

TEST_F(CounterRuleTest, ResetWhileArmedCountsTheRunFromZero) {
  host.setDro(1500, 9);
  host.setDro(1501, 50);
  host.setDro(22, 1);
  host.setLed(804, true);
  tick();
  window.ResetCounter = true;
  window.dtValue = 1.5;
  tick();
  EXPECT_EQ(host.dro(1500), 0);
  EXPECT_TRUE(window.StartOnCheck) << "a reset leaves the run armed";
  host.setLed(804, false);
  tick();
  EXPECT_EQ(host.dro(1500), 1);
  EXPECT_EQ(host.dro(1501), 51);
}

TEST_F(CounterRuleTest, ResetAndEndOfRunOnTheSameTick) {
  host.setDro(1500, 9);
  host.setDro(1501, 50);
  host.setDro(22, 1);
  host.setLed(804, true);
  tick();
  host.setLed(804, false);
  window.ResetCounter = true;
  window.dtValue = 2.5;
  counter::TickOutcome both = tick();
  EXPECT_EQ(host.dro(1500), 1);
  EXPECT_EQ(host.dro(1501), 51);
  EXPECT_EQ(host.dro(1502), 2.5);
  // The outcome tells both, in the rule's order: the reset first, then the run counted
  // from zero.
  EXPECT_TRUE(both.resetApplied);
  EXPECT_EQ(both.countBeforeReset, 9);
  EXPECT_EQ(both.lastReset, 2.5);
  EXPECT_TRUE(both.runCounted);
  EXPECT_EQ(both.count, 1);
  EXPECT_EQ(both.total, 51);
}

TEST_F(CounterRuleTest, TwoConfirmationsBeforeATickMakeOneResetWithTheLaterTime) {
  host.setDro(1500, 3);
  window.ResetCounter = true;
  window.dtValue = 10.0;
  window.ResetCounter = true;
  window.dtValue = 11.0;
  tick();
  EXPECT_EQ(host.dro(1502), 11.0);
  host.clearLog();
  tick();
  EXPECT_FALSE(logged("SetDRO 1500 0")) << "the request is used up by the first tick";
}

TEST_F(CounterRuleTest, CallsTheHostInTheRulesOrderAndNothingElse) {
  using Log = std::vector<std::string>;
  host.setDro(1500, 4);
  host.setDro(1501, 9);
  host.setDro(1502, 7.5);
  host.setDro(22, 1);
  window.ResetCounter = true;
  window.dtValue = 8.25;
  host.setLed(804, true);
  tick();
  EXPECT_EQ(host.log, (Log{"GetDRO 1500", "GetDRO 1501", "GetDRO 1502", "SetDRO 1500 0",
                           "SetDRO 1502 8.25", "GetLED 804", "GetDRO 22"}));
  host.clearLog();
  host.setLed(804, false);
  tick();
  EXPECT_EQ(host.log, (Log{"GetDRO 1500", "GetDRO 1501", "GetDRO 1502", "GetLED 804", "GetDRO 1500",
                           "GetDRO 1501", "SetDRO 1500 1", "SetDRO 1501 10"}));
  host.clearLog();
  tick();
  EXPECT_EQ(host.log, (Log{"GetDRO 1500", "GetDRO 1501", "GetDRO 1502", "GetLED 804"}));
}

TEST_F(CounterRuleTest, OutcomeMarksStartQualificationAndTheCountedEnd) {
  host.setDro(1500, 4);
  host.setDro(1501, 100);
  host.setDro(1502, 46000.5);
  counter::TickOutcome idle = tick();
  EXPECT_TRUE(idle.ran);
  EXPECT_FALSE(idle.eventful());
  EXPECT_EQ(idle.count, 4);
  EXPECT_EQ(idle.total, 100);
  EXPECT_EQ(idle.lastReset, 46000.5);

  host.setLed(804, true);
  counter::TickOutcome start = tick();
  EXPECT_TRUE(start.runStarted);
  EXPECT_TRUE(start.ledLit);
  EXPECT_FALSE(start.qualified) << "DRO 22 is still 0";
  host.setDro(22, 2.5);
  counter::TickOutcome armed = tick();
  EXPECT_FALSE(armed.runStarted);
  EXPECT_TRUE(armed.qualified);
  EXPECT_EQ(armed.qualifier, 2.5);
  host.setDro(22, 7);
  EXPECT_FALSE(tick().eventful()) << "a run qualifies once";

  host.setLed(804, false);
  counter::TickOutcome end = tick();
  EXPECT_TRUE(end.runCounted);
  EXPECT_FALSE(end.runNotCounted);
  EXPECT_FALSE(end.ledLit);
  EXPECT_EQ(end.count, 5) << "the figures as written";
  EXPECT_EQ(end.total, 101);
  EXPECT_FALSE(tick().eventful());
}

TEST_F(CounterRuleTest, OutcomeMarksAnUnqualifiedEndOnlyAfterALitPeriod) {
  host.setDro(1500, 3);
  EXPECT_FALSE(tick().runNotCounted) << "off after off ends nothing";
  host.setLed(804, true);
  EXPECT_TRUE(tick().runStarted);
  host.setLed(804, false);
  counter::TickOutcome end = tick();
  EXPECT_TRUE(end.runNotCounted);
  EXPECT_FALSE(end.runCounted);
  EXPECT_EQ(end.count, 3);
  EXPECT_FALSE(tick().runNotCounted);
}

TEST(CounterRuleWithoutHost, NoWindowOrNoCallbacksDoesNothing) {
  FakeHost host{FakeHost::NotInstalled{}};
  EXPECT_FALSE(counter::counterTick(nullptr, host.counterAccess()).ran);
  EXPECT_TRUE(host.log.empty());
  DAZADA_RUVAZIDU window;
  for (int missing = 0; missing < 3; ++missing) {
    counter::HostAccess access = host.counterAccess();
    if (missing == 0) access.getDro = nullptr;
    if (missing == 1) access.setDro = nullptr;
    if (missing == 2) access.getLed = nullptr;
    // Must not call through a null pointer, nor half-run with the other two.
    EXPECT_FALSE(counter::counterTick(&window, access).ran);
  }
  EXPECT_TRUE(host.log.empty());
}

}  // namespace

namespace {

TEST(LabelTest, NumbersAreComparedBeforeFormattingAndTextResetsTheCache) {
  tallymark::counter::Label label("00000");
  std::vector<std::string> shown;
  label.bind([&](const std::string& text) { shown.push_back(text); });
  EXPECT_TRUE(label.setNumber(0));
  EXPECT_FALSE(label.setNumber(0));
  label.setText("placeholder");
  EXPECT_TRUE(label.setNumber(0)) << "a text set in between must not hide the next number";
  EXPECT_TRUE(label.setNumber(-2147483647 - 1));
  EXPECT_EQ(shown, (std::vector<std::string>{"0", "placeholder", "0", "-2147483648"}));
}

}  // namespace

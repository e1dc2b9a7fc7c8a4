// The counter window's own logic: the reset confirmation, the last-reset refresh,
// hiding instead of closing, and what the model tells the view attached to it. The model
// is tested alone or with a recording view; no window is made.
#include "counter/counter_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "counter/counter_rule.h"
#include "counter/ole_date.h"
#include "fake_host.h"
#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/local_time.h"

namespace {

namespace counter = tallymark::counter;
namespace platform = tallymark::platform;
using platform::LocalDateTime;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageRequest;

// What a view was told, kept by the test: the view itself belongs to the model.
struct ViewRecord {
  bool visible = false;
  bool focused = false;
  bool destroyed = false;
  std::map<const DAZADA_RUVAZIDU::Label*, std::string> shown;  // label -> its latest text
  std::vector<std::string> changes;                            // every text, in order
};

class RecordingView final : public counter::CounterView {
 public:
  explicit RecordingView(ViewRecord& record) : record_(record) {}
  ~RecordingView() override { record_.destroyed = true; }
  void showAndFocus() override { record_.visible = record_.focused = true; }
  void hide() override { record_.visible = record_.focused = false; }
  bool visible() const override { return record_.visible; }
  bool focused() const override { return record_.focused; }
  void* nativeHandle() const override { return nullptr; }
  void showLabel(const DAZADA_RUVAZIDU::Label& label) override {
    record_.shown[&label] = label.text();
    record_.changes.push_back(label.text());
  }

 private:
  ViewRecord& record_;
};

class CounterWindowTest : public ::testing::Test {
 protected:
  void tick() { counter::counterTick(&window, host.counterAccess()); }
  void attach(ViewRecord& record) { window.attachView(std::make_unique<RecordingView>(record)); }

  FakeHost host{FakeHost::NotInstalled{}};
  // Before the window: the views attached to it write here until the window is gone.
  ViewRecord view;
  ViewRecord replacement;
  MessageAnswer answer = MessageAnswer::Yes;
  std::vector<MessageRequest> asked;
  LocalDateTime now{2026, 12, 8, 16, 20, 1, 234};
  // Boxes answered with `answer` and recorded; the wall clock reads `now`.
  platform::Environment environment = [this] {
    platform::Environment fake;
    fake.messages = [this](const MessageRequest& request) {
      asked.push_back(request);
      return answer;
    };
    fake.localClock = [this] { return now; };
    return fake;
  }();
  DAZADA_RUVAZIDU window{environment};
};

TEST_F(CounterWindowTest, StartsHiddenWithTheDesignTexts) {
  EXPECT_FALSE(window.visible());
  EXPECT_EQ(window.lblCountVal.text(), "00000");
  EXPECT_EQ(window.lblTotalCount.text(), "00000");
  EXPECT_EQ(window.lblLastTimeReset.text(), "00000");
  EXPECT_EQ(window.label8.text(), "B\u1ed8 \u0110\u1ebeM S\u1ea2N PH\u1ea8M");
  EXPECT_EQ(window.label7.text(), "Orvane PC-base CNC");
  EXPECT_EQ(window.label4.text(), "DROs used: 1500,1501,1502");
  EXPECT_EQ(window.label5.text(), "Last Reset:");
  EXPECT_EQ(window.label6.text(), "Total:");
  EXPECT_FALSE(window.ResetCounter);
}

TEST_F(CounterWindowTest, ResetAsksOnceAndYesRaisesTheRequestWithTheLocalTime) {
  window.btnReset_Click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Are you sure to reset?");
  EXPECT_EQ(asked[0].caption, "Confirm?");
  EXPECT_EQ(asked[0].buttons, MessageButtons::YesNo);
  EXPECT_TRUE(window.ResetCounter);
  EXPECT_EQ(counter::dateTimeFromOleDate(window.dtValue)->millisecond, 234);
  EXPECT_EQ(window.dtValue, counter::oleDateFromDateTime(now));
  EXPECT_TRUE(host.log.empty()) << "the click itself never touches a DRO";
}

TEST_F(CounterWindowTest, NoChangesNothingAndLaterTicksWriteNothing) {
  host.setDro(1500, 7);
  host.setDro(1502, 100.5);
  answer = MessageAnswer::No;
  window.btnReset_Click();
  EXPECT_FALSE(window.ResetCounter);
  EXPECT_EQ(window.dtValue, 0.0);
  tick();
  tick();
  for (const std::string& call : host.log)
    EXPECT_EQ(call.rfind("SetDRO", 0), std::string::npos) << call;
  EXPECT_EQ(host.dro(1500), 7);
  EXPECT_EQ(host.dro(1502), 100.5);
}

TEST_F(CounterWindowTest, ConfirmedResetReachesTheLabelsOverTwoTicksAndATimerTick) {
  host.setDro(1500, 41);
  host.setDro(1501, 99);
  window.btnReset_Click();
  now.second = 9;  // a second confirmation before the tick: one reset, the later time
  window.btnReset_Click();
  tick();
  EXPECT_EQ(host.dro(1500), 0);
  EXPECT_EQ(host.dro(1501), 99);
  EXPECT_EQ(host.dro(1502), counter::oleDateFromDateTime(now));
  EXPECT_EQ(window.lblCountVal.text(), "41") << "the first tick showed the figures it read";
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "0");
  EXPECT_EQ(window.dtValue2, counter::oleDateFromDateTime(now));
  EXPECT_EQ(window.lblLastTimeReset.text(), "00000");
  window.timer2_Tick();
  EXPECT_EQ(window.lblLastTimeReset.text(), platform::formatLocalDateTime(now));
}

TEST_F(CounterWindowTest, RefreshShowsTheEpochBeforeAnyTickAndAPlaceholderForNoDate) {
  window.timer2_Tick();
  EXPECT_EQ(window.lblLastTimeReset.text(),
            platform::formatLocalDateTime(LocalDateTime{1899, 12, 30, 0, 0, 0, 0}));
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), 3e6, -7e5,
                     std::numeric_limits<double>::infinity()}) {
    window.dtValue2 = bad;
    window.timer2_Tick();
    EXPECT_EQ(window.lblLastTimeReset.text(), DAZADA_RUVAZIDU::kNoDateText) << bad;
  }
  // The refresh goes on once the DRO holds a date again.
  window.dtValue2 = -1.25;
  window.timer2_Tick();
  EXPECT_EQ(window.lblLastTimeReset.text(),
            platform::formatLocalDateTime(LocalDateTime{1899, 12, 29, 6, 0, 0, 0}));
}

TEST_F(CounterWindowTest, ClosingOnlyHidesAndKeepsEverything) {
  attach(view);
  window.showAndFocus();
  EXPECT_TRUE(window.visible());
  EXPECT_TRUE(window.focused());
  host.setDro(1500, 12);
  tick();
  window.ResetCounter = true;
  window.dtValue = 5.0;
  EXPECT_TRUE(window.DAZADA_RUVAZIDU_FormClosing()) << "the close is cancelled";
  EXPECT_FALSE(window.visible());
  EXPECT_EQ(window.lblCountVal.text(), "12");
  EXPECT_TRUE(window.ResetCounter);
  EXPECT_EQ(window.dtValue, 5.0);
  window.showAndFocus();
  EXPECT_TRUE(window.visible());
}

TEST_F(CounterWindowTest, WithoutAViewNothingShowsAndTheCounterStillWorks) {
  EXPECT_EQ(window.view(), nullptr);
  window.showAndFocus();
  EXPECT_FALSE(window.visible());
  EXPECT_FALSE(window.focused());
  EXPECT_TRUE(window.DAZADA_RUVAZIDU_FormClosing()) << "closing is cancelled all the same";
  window.btnReset_Click();
  EXPECT_EQ(asked.size(), 1u) << "the confirmation is asked without an owner window";
  EXPECT_TRUE(window.ResetCounter);
  host.setDro(1500, 8);
  tick();
  tick();
  EXPECT_EQ(host.dro(1500), 0);
  EXPECT_EQ(window.lblCountVal.text(), "0");
}

TEST_F(CounterWindowTest, AViewAttachedLaterShowsTheCurrentTextsThenOnlyChanges) {
  host.setDro(1500, 12);
  host.setDro(1501, 345);
  tick();
  window.showLastRun(12345);
  window.lblStatus.setText("Run log: held");
  attach(view);
  EXPECT_NE(window.view(), nullptr);
  EXPECT_EQ(view.shown.size(), 12u) << "every label once, the two batch labels empty";
  EXPECT_EQ(view.shown[&window.lblStatus], "Run log: held");
  EXPECT_EQ(view.shown[&window.lblCountVal], "12");
  EXPECT_EQ(view.shown[&window.lblTotalCount], "345");
  EXPECT_EQ(view.shown[&window.lblLastRun], "Last run: 12.3 s");
  EXPECT_EQ(view.shown[&window.label8], window.label8.text());
  EXPECT_FALSE(view.visible) << "attaching shows nothing by itself";

  view.changes.clear();
  tick();
  EXPECT_TRUE(view.changes.empty()) << "unchanged figures are not sent again";
  host.setDro(1500, 13);
  tick();
  window.timer2_Tick();
  EXPECT_EQ(view.changes, (std::vector<std::string>{
                              "13", platform::formatLocalDateTime({1899, 12, 30, 0, 0, 0, 0})}));
}

TEST_F(CounterWindowTest, ANewViewReplacesTheOldAndDetachingLeavesTheModelWorking) {
  attach(view);
  window.showAndFocus();
  attach(replacement);
  EXPECT_TRUE(view.destroyed);
  EXPECT_FALSE(window.visible()) << "the new view starts hidden";
  view.changes.clear();
  host.setDro(1500, 5);
  tick();
  EXPECT_TRUE(view.changes.empty());
  EXPECT_EQ(replacement.shown[&window.lblCountVal], "5");

  window.attachView(nullptr);
  EXPECT_TRUE(replacement.destroyed);
  host.setDro(1500, 6);
  tick();
  EXPECT_EQ(window.lblCountVal.text(), "6");
  EXPECT_FALSE(window.visible());
}

TEST(LocalTime, FormatsTheDateBeforeTheTimeAndFallsBackToIso) {
  EXPECT_EQ(platform::formatIsoDateTime(LocalDateTime{812, 3, 4, 5, 6, 7, 8}),
            "0812-03-04 05:06:07");
  const std::string text = platform::formatLocalDateTime(LocalDateTime{2026, 12, 8, 16, 5, 9, 0});
  EXPECT_NE(text.find("2026"), std::string::npos) << text;  // no two-digit years...
  EXPECT_NE(text.find("05"), std::string::npos) << text;
  EXPECT_LT(text.find("8"), text.find("05")) << "date first: " << text;
  EXPECT_EQ(platform::dayOfWeek(LocalDateTime{2026, 12, 8, 0, 0, 0, 0}), 2);   // a Tuesday
  EXPECT_EQ(platform::dayOfWeek(LocalDateTime{1899, 12, 30, 0, 0, 0, 0}), 6);  // a Saturday
}

// The locale's own patterns write the dates the system refuses (tests/win32 holds them
// against the system's text for later dates).
TEST(LocalTime, DatePicturesWriteEveryFieldForAnyYear) {
  platform::DatePictureNames names;
  names.am = "AM";
  names.pm = "CH";
  names.era = "A.D.";
  names.months[11] = "December";
  names.abbreviatedMonths[11] = "Dec";
  names.days[6] = "Saturday";
  names.abbreviatedDays[6] = "Sat";
  const LocalDateTime epoch{1899, 12, 30, 0, 0, 0, 0};
  EXPECT_EQ(platform::formatDatePicture("M/d/yyyy h:mm:ss tt", epoch, names),
            "12/30/1899 12:00:00 AM");
  EXPECT_EQ(platform::formatDatePicture("dd.MM.yy HH:mm:ss", epoch, names), "30.12.99 00:00:00");
  const LocalDateTime late{812, 3, 4, 17, 6, 7, 8};
  EXPECT_EQ(platform::formatDatePicture("d/M/y hh:m:s t", late, names), "4/3/12 05:6:7 C");
  EXPECT_EQ(platform::formatDatePicture("yyyy-MM-dd", late, names), "0812-03-04");
  EXPECT_EQ(platform::formatDatePicture("dddd, MMMM dd, yyyy g", epoch, names),
            "Saturday, December 30, 1899 A.D.");
  EXPECT_EQ(platform::formatDatePicture("ddd MMM d", epoch, names), "Sat Dec 30");
  EXPECT_EQ(platform::formatDatePicture("'Ng\xC3\xA0y' d 'o''clock' '' H'h'", epoch, names),
            "Ng\xC3\xA0y 30 o'clock ' 0h");
  EXPECT_EQ(platform::formatDatePicture("HH:mm 'unclosed", epoch, names), "00:00 unclosed");
}

}  // namespace

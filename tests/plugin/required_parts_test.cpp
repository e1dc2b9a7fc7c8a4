// The batch target (RequiredParts) through the exports as the host drives them.
//
// Off: a scripted run of 50 ticks must leave the host's calls, the run log and the
// window's figures exactly as the plug-in left them before the feature existed; the
// text they are held against (required_parts_off_recording.h) was recorded from that
// plug-in. On: when the LED is lit and put out, when the code line goes to the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "counter/counter_window.h"
#include "counter/run_tracker.h"
#include "fake_host.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/plugin.h"
#include "plugin/plugin_boxes.h"
#include "plugin/run_record.h"
#include "plugin/state.h"
#include "required_parts_off_recording.h"
#include "settings/test_files.h"

namespace {

std::string profileWith(const std::string& section) {
  return "<?xml version=\"1.0\"?>\n<profile>\n<Dazada_Ruvazidu>" + section +
         "</Dazada_Ruvazidu>\n</profile>\n";
}

// The plug-in as freshly loaded, before the fake host hands its callbacks over.
struct FreshPlugin {
  FreshPlugin() { tallymark::plugin::resetForTests(); }
};

class RequiredParts : public ::testing::Test, private FreshPlugin {
 public:
  void SetUp() override {
    tallymark::platform::Environment& environment = tallymark::plugin::state().environment;
    environment.zonedClock = [this] {
      tallymark::platform::ZonedDateTime wall;
      wall.local = tallymark::platform::LocalDateTime{2026, 12, 8, 14, 0, 0, 0};
      wall.local.minute = tick / 60;
      wall.local.second = tick % 60;
      wall.utcOffsetMinutes = 420;
      return wall;
    };
    environment.monotonicClock = [this] { return static_cast<uint32_t>(tick) * 100; };
  }
  void TearDown() override { tallymark::plugin::resetForTests(); }

  // SetProName with a profile whose plug-in section holds `section`, then the window.
  void start(const std::string& section) {
    writeFile(profile, profileWith(section));
    SetProName(profile.c_str());
    PostInitControl();
    window = MG::dazada_ruvaziduDlg;
  }
  void update() {
    ++tick;
    Update();
  }
  // One lit period of `lit` ticks, DRO 22 at `qualifier` from its second tick, then the
  // tick that sees the LED out.
  void run(double qualifier, int lit = 3) {
    host.setDro(22, 0);
    host.setLed(804, true);
    update();
    host.setDro(22, qualifier);
    for (int i = 1; i < lit; ++i) update();
    host.setLed(804, false);
    update();
  }
  void confirmReset(double when) {
    window->ResetCounter = true;
    window->dtValue = when;
  }
  std::string hostCalls() const {
    std::string text;
    for (const std::string& call : host.log) text += call + "\n";
    return text;
  }

  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
  std::string profile = folder.file("Mill.xml");
  DAZADA_RUVAZIDU* window = nullptr;
  int tick = 0;
};

// What the 50 ticks leave: every host call in order, the run log, the window's figures.
struct Recording {
  std::string hostCalls;
  std::string runLog;
  std::string labels;
};

// The scripted run: counted and uncounted runs, hand edits of DRO 1500 (a fraction, a
// large count, NaN), a reset on its own and one on the tick a run ends.
Recording scriptedFiftyTicks(RequiredParts& t) {
  FakeHost& host = t.host;
  host.setDro(1500, 3);
  host.setDro(1501, 40);
  host.setDro(1502, 46360.25);
  for (int i = 0; i < 3; ++i) t.update();  // 3
  t.run(1.5, 4);                           // 8: counted, 4
  t.run(0, 2);                             // 11: not counted
  host.setDro(1500, 4.7);                  // by hand
  t.update();                              // 12
  t.run(2, 3);                             // 16: counted, 5
  t.confirmReset(46364.5);
  t.update();  // 17: reset
  t.update();  // 18
  host.setDro(22, 0);
  host.setLed(804, true);
  t.update();  // 19
  host.setDro(22, 1);
  t.update();  // 20
  t.update();  // 21
  host.setLed(804, false);
  t.confirmReset(46364.75);
  t.update();             // 22: reset and counted on one tick, 1
  host.setDro(1500, 99);  // by hand
  t.update();             // 23
  t.run(1, 5);            // 29: counted, 100
  t.run(1, 3);            // 33: counted, 101
  host.setDro(1500, 4);   // by hand, below
  t.update();             // 34
  host.setDro(1500, std::nan(""));
  t.update();                              // 35
  t.run(3, 6);                             // 42: counted, 1
  for (int i = 0; i < 8; ++i) t.update();  // 50
  Recording r;
  r.hostCalls = t.hostCalls();
  StopPlug();
  r.runLog = readFile(t.folder.file("Mill.runs.csv"));
  DAZADA_RUVAZIDU& w = *t.window;
  r.labels = w.lblCountVal.text() + "|" + w.lblTotalCount.text() + "|" + w.lblLastRun.text();
  return r;
}

// A C++ string literal of `text`, one line of it per source line.
std::string literal(const std::string& text) {
  std::string out = "\n    \"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n\"";
      if (i + 1 < text.size()) out += "\n    \"";
      continue;
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X\"\"", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.empty() || text.back() != '\n') out += '"';
  return out;
}

// Writes what the scripted run left, as the header the off tests compare with, to the
// file TALLYMARK_RECORD_OFF names (how the recording was made, before the feature).
void recordIfAsked(const Recording& r) {
  const char* path = std::getenv("TALLYMARK_RECORD_OFF");
  if (path == nullptr) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "// Recorded from the plug-in before RequiredParts existed: the scripted run of\n"
         "// required_parts_test.cpp. Never edit by hand.\n#pragma once\n\n"
      << "inline constexpr char kOffHostCalls[] =" << literal(r.hostCalls) << ";\n"
      << "inline constexpr char kOffRunLog[] =" << literal(r.runLog) << ";\n"
      << "inline constexpr char kOffLabels[] =" << literal(r.labels) << ";\n";
}

TEST_F(RequiredParts, OffTheFiftyTicksCallTheHostAndLogExactlyAsBeforeTheFeature) {
  start("<CamType>1</CamType>");
  const Recording r = scriptedFiftyTicks(*this);
  recordIfAsked(r);
  EXPECT_EQ(tick, 50);
  EXPECT_EQ(r.hostCalls, kOffHostCalls);
  EXPECT_EQ(r.runLog, kOffRunLog);
  EXPECT_EQ(r.labels, kOffLabels);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RequiredParts, RequiredPartsZeroIsOffWithTheOtherTwoSettingsPresent) {
  start(
      "<CamType>1</CamType><RequiredParts>0</RequiredParts>"
      "<RequiredPartsLED>55</RequiredPartsLED><RequiredPartsCode>M30</RequiredPartsCode>");
  const Recording r = scriptedFiftyTicks(*this);
  EXPECT_EQ(r.hostCalls, kOffHostCalls);
  EXPECT_EQ(r.runLog, kOffRunLog);
  EXPECT_EQ(window->lblRequired.text(), "");
  EXPECT_EQ(window->lblBatchComplete.text(), "");
}

// The calls of the batch signal alone, out of the host's log.
std::vector<std::string> signals(const FakeHost& host) {
  std::vector<std::string> out;
  for (const std::string& call : host.log) {
    if (call.rfind("SetLED", 0) == 0 || call.rfind("Code", 0) == 0) out.push_back(call);
  }
  return out;
}

using Calls = std::vector<std::string>;

TEST_F(RequiredParts, TheRunThatReachesTheTargetLightsTheLedAndSendsTheCodeOnce) {
  start(
      "<RequiredParts>3</RequiredParts><RequiredPartsLED>55</RequiredPartsLED>"
      "<RequiredPartsCode>M98 P9000\nsecond line</RequiredPartsCode>");
  host.setDro(1500, 1);
  host.setDro(1501, 10);
  update();
  EXPECT_EQ(signals(host), Calls({"SetLED 55 0"})) << "at start, the LED matches the count";
  EXPECT_EQ(window->lblRequired.text(), "Required: 3  Remaining: 2");
  EXPECT_EQ(window->lblBatchComplete.text(), "");
  run(1);
  run(0);  // not counted: nothing
  EXPECT_EQ(signals(host), Calls({"SetLED 55 0"}));
  run(1);  // 3: the batch is complete
  EXPECT_EQ(signals(host), Calls({"SetLED 55 0", "SetLED 55 1", "Code M98 P9000"}))
      << "the LED, then the code line's first line, after the count is written";
  update();
  EXPECT_EQ(window->lblRequired.text(), "Required: 3  Remaining: 0");
  EXPECT_EQ(window->lblBatchComplete.text(), "Batch complete");
  run(1);  // 4: past the target, nothing more
  for (int i = 0; i < 5; ++i) update();
  EXPECT_EQ(signals(host).size(), 3u);

  confirmReset(46364.5);
  update();
  EXPECT_EQ(signals(host).back(), "SetLED 55 0") << "a reset starts a new batch";
  update();
  EXPECT_EQ(window->lblRequired.text(), "Required: 3  Remaining: 3");
  EXPECT_EQ(window->lblBatchComplete.text(), "");
  StopPlug();
  const std::string log = readFile(folder.file("Mill.runs.csv"));
  EXPECT_NE(log.find("counted,2026-12-08T14:00:13+07:00,2026-12-08T14:00:10+07:00,0.3,1,3,12,,\r\n"
                     "batch complete,2026-12-08T14:00:13+07:00,,,,3,12,,\r\n"
                     "counted,2026-12-08T14:00:18+07:00"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("batch complete", log.find("batch complete") + 1), std::string::npos);
}

TEST_F(RequiredParts, FiguresMadeOutsideTheRunsMoveTheLedButNeverSendTheCode) {
  // A start with the count already past the target: lit, no code.
  start(
      "<RequiredParts>5</RequiredParts><RequiredPartsLED>7</RequiredPartsLED>"
      "<RequiredPartsCode>M30</RequiredPartsCode>");
  host.setDro(1500, 9);
  update();
  update();
  EXPECT_EQ(signals(host), Calls({"SetLED 7 1"}));
  EXPECT_EQ(window->lblBatchComplete.text(), "Batch complete");
  // A hand edit below the target puts it out; above, lights it; neither sends the code.
  host.setDro(1500, 2);
  update();
  host.setDro(1500, 5.9);  // whole part 5: at the target
  update();
  host.setDro(1500, 4.99);
  update();
  host.setDro(1500, 100);
  update();
  EXPECT_EQ(signals(host),
            Calls({"SetLED 7 1", "SetLED 7 0", "SetLED 7 1", "SetLED 7 0", "SetLED 7 1"}));
  // A counted run from a count already at the target completes nothing.
  run(1);
  EXPECT_EQ(signals(host).size(), 5u);
  // Below the target again by hand: the next run that reaches it is a completion.
  host.setDro(1500, 3);
  update();
  run(1);
  EXPECT_EQ(signals(host).size(), 6u);
  run(1);
  EXPECT_EQ(signals(host), Calls({"SetLED 7 1", "SetLED 7 0", "SetLED 7 1", "SetLED 7 0",
                                  "SetLED 7 1", "SetLED 7 0", "SetLED 7 1", "Code M30"}));
  // NaN reads as 0: below the target.
  host.setDro(1500, std::nan(""));
  update();
  EXPECT_EQ(signals(host).back(), "SetLED 7 0");
}

TEST_F(RequiredParts, AResetOnTheTickARunEndsCanCompleteABatchOfOne) {
  start(
      "<RequiredParts>1</RequiredParts><RequiredPartsLED>7</RequiredPartsLED>"
      "<RequiredPartsCode>M30</RequiredPartsCode>");
  host.setDro(1500, 4);
  update();
  host.setDro(22, 1);
  host.setLed(804, true);
  update();
  host.setLed(804, false);
  confirmReset(46364.5);
  update();
  EXPECT_EQ(host.dro(1500), 1);
  EXPECT_EQ(signals(host), Calls({"SetLED 7 1", "SetLED 7 1", "Code M30"}))
      << "the reset's new batch of one is completed by the run that ends with it";
}

TEST_F(RequiredParts, WithoutAnLedOrACodeLineTheBatchStillShowsAndIsLogged) {
  start("<RequiredParts>2</RequiredParts>");
  update();
  run(1);
  run(1);
  EXPECT_TRUE(signals(host).empty());
  update();
  EXPECT_EQ(window->lblBatchComplete.text(), "Batch complete");
  StopPlug();
  EXPECT_NE(readFile(folder.file("Mill.runs.csv")).find("batch complete,"), std::string::npos);
}

TEST_F(RequiredParts, TheTargetChangedBetweenStartsIsTakenAtTheNextStartWithoutCode) {
  start(
      "<RequiredParts>10</RequiredParts><RequiredPartsLED>7</RequiredPartsLED>"
      "<RequiredPartsCode>M30</RequiredPartsCode>");
  host.setDro(1500, 6);
  update();
  EXPECT_EQ(window->lblRequired.text(), "Required: 10  Remaining: 4");
  StopPlug();

  // The next start of the host: the same DROs, a smaller target already reached.
  tallymark::plugin::resetForTests();
  FakeHost next;
  next.dros = host.dros;
  writeFile(profile, profileWith("<RequiredParts>5</RequiredParts>"
                                 "<RequiredPartsLED>7</RequiredPartsLED>"
                                 "<RequiredPartsCode>M30</RequiredPartsCode>"));
  SetProName(profile.c_str());
  PostInitControl();
  Update();
  EXPECT_EQ(signals(next), Calls({"SetLED 7 1"}));
  EXPECT_EQ(MG::dazada_ruvaziduDlg->lblRequired.text(), "Required: 5  Remaining: 0");

  // Switched off by a later SetProName: the lit LED goes out and the figures go.
  writeFile(profile, profileWith(""));
  SetProName(profile.c_str());
  Update();
  EXPECT_EQ(signals(next), Calls({"SetLED 7 1", "SetLED 7 0"}));
  EXPECT_EQ(MG::dazada_ruvaziduDlg->lblRequired.text(), "");
  EXPECT_EQ(MG::dazada_ruvaziduDlg->lblBatchComplete.text(), "");
}

// Absurd settings: a target that is not a positive whole number within 32 bits is off
// (never clamped); an LED outside 1..32767 is none; a code line keeps its first line.
TEST_F(RequiredParts, AbsurdSettingsAreOffOrNone) {
  for (const char* target : {"-5", "2.5", "ten", "99999999999", "", "0x10"}) {
    SCOPED_TRACE(target);
    writeFile(profile, profileWith(std::string("<RequiredParts>") + target +
                                   "</RequiredParts><RequiredPartsLED>7</RequiredPartsLED>"));
    SetProName(profile.c_str());
    PostInitControl();
    host.clearLog();
    host.setDro(1500, 50);
    Update();
    EXPECT_TRUE(signals(host).empty());
    EXPECT_EQ(MG::dazada_ruvaziduDlg->lblRequired.text(), "");
  }
  for (const char* led : {"-1", "0", "32768", "1.5", "LED"}) {
    SCOPED_TRACE(led);
    writeFile(profile, profileWith(std::string("<RequiredParts>2</RequiredParts>"
                                               "<RequiredPartsLED>") +
                                   led + "</RequiredPartsLED>"));
    SetProName(profile.c_str());
    host.clearLog();
    Update();
    EXPECT_TRUE(signals(host).empty());
    EXPECT_EQ(MG::dazada_ruvaziduDlg->lblRequired.text(), "Required: 2  Remaining: 0");
  }
  // The largest 32-bit target is on; a count at the end of the range reaches it.
  writeFile(profile, profileWith("<RequiredParts>2147483647</RequiredParts>"
                                 "<RequiredPartsLED>32767</RequiredPartsLED>"));
  SetProName(profile.c_str());
  host.clearLog();
  host.setDro(1500, 1e12);
  Update();
  EXPECT_EQ(signals(host), Calls({"SetLED 32767 1"}));
}

}  // namespace

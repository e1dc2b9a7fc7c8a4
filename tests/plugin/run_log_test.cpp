// The run log through the exports as the host drives them: scripted ticks with a test
// clock, the file read back from the disk. The plug-in starts once for the program, as
// in a host; each test names its own profile, and StopPlug ends each test's writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "counter/counter_window.h"
#include "counter/run_tracker.h"
#include "fake_disk.h"
#include "fake_host.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/plugin_boxes.h"
#include "plugin/run_record.h"
#include "settings/test_files.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    out.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

std::string profileWith(const std::string& section) {
  return "<?xml version=\"1.0\"?>\n<profile>\n<Dazada_Ruvazidu>" + section +
         "</Dazada_Ruvazidu>\n</profile>\n";
}

class RunLogThroughThePlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    // No InitControl: its automation attachment has nothing to do with the log, and
    // under Wine it can wait on another program's automation object.
    static bool started = [] {
      PostInitControl();
      return true;
    }();
    (void)started;
    window = MG::dazada_ruvaziduDlg;
    tallymark::platform::Environment& environment = tallymark::plugin::state().environment;
    environment.zonedClock = [this] {
      tallymark::platform::ZonedDateTime wall;
      wall.local = tallymark::platform::LocalDateTime{2026, 12, 8, 14, minute, second, 0};
      wall.utcOffsetMinutes = 420;
      ++clockReads;
      return wall;
    };
    environment.monotonicClock = [this] { return monotonic; };
  }
  void TearDown() override {
    StopPlug();
    tallymark::platform::Environment& environment = tallymark::plugin::state().environment;
    environment.zonedClock = nullptr;
    environment.monotonicClock = nullptr;
    environment.appendFiles = nullptr;
  }

  // Names a profile whose plug-in section holds `section`.
  void start(const std::string& section) {
    writeFile(profile, profileWith(section));
    SetProName(profile.c_str());
  }
  void at(int m, int s, uint32_t ms) {
    minute = m;
    second = s;
    monotonic = ms;
  }
  // One lit period from now to (m, s, ms), DRO 22 at `qualifier` from its second tick.
  void run(double qualifier, int m, int s, uint32_t ms) {
    host.setDro(22, 0);
    host.setLed(804, true);
    Update();
    host.setDro(22, qualifier);
    Update();
    at(m, s, ms);
    host.setLed(804, false);
    Update();
  }

  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
  std::string profile = folder.file("Mill.xml");
  DAZADA_RUVAZIDU* window = nullptr;
  int minute = 0;
  int second = 0;
  uint32_t monotonic = 0;
  int clockReads = 0;
};

TEST_F(RunLogThroughThePlugin, CountedUncountedAndResetLinesReachTheFileBesideTheProfile) {
  start("<CamType>1</CamType>");
  host.setDro(1500, 4);
  host.setDro(1501, 100);
  Update();
  at(3, 7, 100000);
  run(1.5, 3, 19, 112350);
  EXPECT_EQ(window->lblLastRun.text(), "Last run: 12.4 s");
  at(4, 0, 153000);
  run(0, 4, 1, 154000);
  EXPECT_EQ(window->lblLastRun.text(), "Last run: 12.4 s") << "only counted runs are cycles";
  const int readsSoFar = clockReads;
  for (int i = 0; i < 20; ++i) Update();
  EXPECT_EQ(clockReads, readsSoFar) << "quiet ticks never read the clock";
  at(5, 30, 240000);
  window->ResetCounter = true;
  window->dtValue = 46364.5;
  Update();
  StopPlug();  // the writer has finished when StopPlug returns

  EXPECT_EQ(readFile(folder.file("Mill.runs.csv")),
            "\xEF\xBB\xBF"
            "Event,Time,Run started,Run seconds,DRO 22,Count,Total,Count before reset,Note\r\n"
            "counted,2026-12-08T14:03:19+07:00,2026-12-08T14:03:07+07:00,12.4,1.5,5,101,,\r\n"
            "not counted,2026-12-08T14:04:01+07:00,2026-12-08T14:04:00+07:00,1.0,,5,101,,\r\n"
            "reset,2026-12-08T14:05:30+07:00,,,,0,,5,\r\n");
  EXPECT_EQ(host.dro(1500), 0);
  EXPECT_EQ(host.dro(1501), 101);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RunLogThroughThePlugin, RunLogZeroWritesNothingAndRunLogPathIsTakenFromTheProfilesFolder) {
  start("<RunLog>0</RunLog>");
  run(1, 0, 1, 1000);
  EXPECT_EQ(window->lblLastRun.text(), "Last run: 1.0 s") << "the window shows it all the same";
  StopPlug();
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"Mill.xml"});

  std::filesystem::create_directories(folder.file("logs"));
  start("<RunLogPath>logs/line 2.csv</RunLogPath>");
  run(1, 0, 2, 2000);
  StopPlug();
  const std::string log = readFile(folder.file("logs/line 2.csv"));
  EXPECT_NE(log.find("\r\ncounted,"), std::string::npos) << log;
}

TEST_F(RunLogThroughThePlugin, AMissingFolderIsMadeAndAnUnwritablePathLeavesTheCountingAlone) {
  start("<RunLogPath>no such folder/runs.csv</RunLogPath>");
  run(1, 0, 1, 1000);
  StopPlug();
  EXPECT_NE(readFile(folder.file("no such folder/runs.csv")).find("\r\ncounted,"),
            std::string::npos);

  // A file where the folder should be: neither the log nor its side file can be made.
  start("<RunLogPath>Mill.xml/runs.csv</RunLogPath>");
  host.setDro(1500, 0);
  run(1, 0, 1, 1000);
  run(1, 0, 2, 2000);
  StopPlug();
  EXPECT_EQ(host.dro(1500), 2);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"Mill.xml", "no such folder"}));
}

TEST_F(RunLogThroughThePlugin, AFolderSettingGetsTheDefaultNameInsideAndASemicolonIsKept) {
  std::filesystem::create_directories(folder.file("logs"));
  start("<RunLogPath>logs</RunLogPath><RunLogSeparator>;</RunLogSeparator>");
  run(1, 0, 1, 1000);
  StopPlug();
  EXPECT_EQ(readFile(folder.file("logs/Mill.runs.csv")).substr(0, 17),
            "\xEF\xBB\xBF"
            "Event;Time;Run");

  start("<RunLogPath>new logs/</RunLogPath>");  // a folder still to be made
  run(1, 0, 2, 2000);
  StopPlug();
  EXPECT_EQ(readFile(folder.file("new logs/Mill.runs.csv")).substr(0, 17),
            "\xEF\xBB\xBF"
            "Event,Time,Run");
}

// The host's file dialogs move the working folder while it runs; the profile's name
// stays as the host gave it.
TEST_F(RunLogThroughThePlugin, ARelativeProfileNameKeepsOneLogBesideTheProfile) {
  const std::string elsewhere = folder.file("elsewhere");
  std::filesystem::create_directories(elsewhere);
  const auto home = std::filesystem::current_path();
  writeFile(profile, profileWith(""));
  std::filesystem::current_path(folder.file(""));
  SetProName("Mill.xml");
  run(1, 0, 1, 1000);
  std::filesystem::current_path(elsewhere);
  run(1, 0, 2, 2000);
  StopPlug();
  std::filesystem::current_path(home);
  EXPECT_EQ(lines(readFile(folder.file("Mill.runs.csv"))).size(), 3u) << "header and two runs";
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
  EXPECT_TRUE(boxes.shown.empty()) << "the profile was found again at StopPlug: "
                                   << (boxes.shown.empty() ? "" : boxes.shown[0].text);
  EXPECT_NE(readFile(profile).find("<Tallymark_v1.0>1</Tallymark_v1.0>"), std::string::npos);
}

TEST_F(RunLogThroughThePlugin, StopPlugReturnsWhileTheDiskHangs) {
  auto disk = std::make_shared<FakeDisk>();
  tallymark::plugin::state().environment.appendFiles = [disk] { return disk->open(); };
  start("");
  disk->hold();
  run(1, 0, 1, 1000);
  disk->waitUntilSomeoneWaits();
  StopPlug();  // returns: a hung test here is the fault
  disk->release();
  disk->waitForAppends(2);
  EXPECT_NE(disk->file(folder.file("Mill.runs.csv")).find("\r\ncounted,"), std::string::npos);
}

TEST_F(RunLogThroughThePlugin, AnUnreadableProfileLeavesTheLogOff) {
  // RunLog could be 0 in a profile that cannot be read: no log is the safe side.
  writeFile(profile, "<profile><Dazada_Ruvazidu>");
  SetProName(profile.c_str());
  run(1, 0, 1, 1000);
  StopPlug();
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"Mill.xml"});
  EXPECT_EQ(boxes.shown.size(), 3u) << "the load's own boxes, two at start, one at stop";
}

}  // namespace

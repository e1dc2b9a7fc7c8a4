// The device object in a build with the console switch on: the console opens at
// InitControl with its title and banner, and the dump runs on the 1st, 11th and 21st
// tick. On Windows this is the process's real console, read back through the console API.
#include <gtest/gtest.h>

#include <string>

#include "console_reader.h"
#include "diag/console.h"
#include "diag/console_switch.h"
#include "plugin/device.h"
#include "plugin/host.h"
#include "tallymark_version.h"

namespace {

const std::string kAxisA =
    "A Vel:-120.1250 Acc:1500.0000 Steps:     -8.5000 Epr:360.0000 Dir:255 Slave:1 SlaveA:3 "
    "SlimHi:2147483647 SlimLo:-2147483648";

std::string fileLine() {
  return consoleText(0, 7, 36);
}

TEST(ConsoleOn, OpensWithTitleAndBannerAndDumpsOnEveryTenthTickFromTheFirst) {
  ASSERT_TRUE(tallymark::diag::kConsoleEnabled);
  detachInheritedConsole();
  TrajBuffer engine{};
  _TrajectoryControl planner{};
  planner.Axis[3] = PlannerAxis{-120.125, 1500.0, -8.5, 360.0};
  engine.Axis[3] = EngineAxis{255, 1, 3, 2147483647, -2147483647 - 1};
  planner.DigifileOpen = 0;
  planner.loaded = 1;
  Engine = &engine;
  MainPlanner = &planner;

  MyDeviceClass device;
  device.InitControl();
  ASSERT_NE(device.console, nullptr);
  ASSERT_NE(device.console->active, 0) << "the console could not be opened";
  EXPECT_EQ(consoleTitle(), "Remote Control");
  // The banner, then the build's version, then nothing.
  const std::string header = std::string("QXR_LUMEN plugin activated - tallymark ") +
                             TALLYMARK_VERSION + " (" + TALLYMARK_COMMIT + ")";
  EXPECT_EQ(consoleText(0, 0, header.size() + 4), header + "    ");
  EXPECT_EQ(consoleText(0, 1, 4), "    ") << "the row under the header line stays empty";
  MyConsoleClass* opened = device.console;
  device.InitControl();
  EXPECT_EQ(device.console, opened) << "one console per device";
  EXPECT_EQ(fileLine(), std::string(36, ' ')) << "nothing dumped before the first tick";

  device.Update();  // 1st
  EXPECT_EQ(fileLine(), " Infor: DigifileOpen 0 loaded: 1    ");
  EXPECT_EQ(consoleText(0, 5, kAxisA.size()), kAxisA);
  EXPECT_EQ(consoleText(0, 2, 6), "X Vel:");

  planner.DigifileOpen = 1;
  for (int tick = 2; tick <= 10; ++tick) device.Update();
  EXPECT_EQ(fileLine(), " Infor: DigifileOpen 0 loaded: 1    ") << "no dump on ticks 2 to 10";
  device.Update();  // 11th
  EXPECT_EQ(fileLine(), " Infor: DigifileOpen 1 loaded: 1    ");

  planner.loaded = 0;
  for (int tick = 12; tick <= 20; ++tick) device.Update();
  EXPECT_EQ(fileLine(), " Infor: DigifileOpen 1 loaded: 1    ");
  device.Update();  // 21st
  EXPECT_EQ(fileLine(), " Infor: DigifileOpen 1 loaded: 0    ");
  EXPECT_EQ(consoleText(0, 0, 26), "QXR_LUMEN plugin activated") << "the banner stays";

  Engine = nullptr;
  MainPlanner = nullptr;
}

}  // namespace

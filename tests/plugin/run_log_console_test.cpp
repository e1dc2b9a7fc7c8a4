// A run log that cannot be written, as the console shows it: once, in the line area
// below the dump. The headless console is read back; the plug-in is started as a host
// does, and the console is given to the device by hand (the build's switch is off).
#include <gtest/gtest.h>

#include <string>

#include "diag/console.h"
#include "diag/console_screen.h"
#include "fake_host.h"
#include "plugin/device.h"
#include "plugin/exports.h"
#include "plugin/plugin.h"
#include "plugin/plugin_boxes.h"
#include "plugin/run_record.h"
#include "plugin/state.h"
#include "settings/test_files.h"

using tallymark::diag::headlessConsole;

namespace {

TEST(RunLogConsole, AnUnwritablePathIsShownInTheSystemsWordsAndTheCountGoesOn) {
  tallymark::plugin::resetForTests();
  headlessConsole().clear();
  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
  const std::string profile = folder.file("Mill.xml");
  writeFile(profile,
            "<profile><Dazada_Ruvazidu><RunLogPath>Mill.xml/runs.csv</RunLogPath>"
            "</Dazada_Ruvazidu></profile>");
  SetProName(profile.c_str());
  InitControl(nullptr, nullptr, nullptr, nullptr);
  PostInitControl();
  ASSERT_NE(MyDevice, nullptr);
  MyDevice->console = new MyConsoleClass();

  auto run = [&] {
    host.setDro(22, 1);
    host.setLed(804, true);
    Update();
    host.setLed(804, false);
    Update();
  };
  run();
  const std::string expected =
      "Run log: Cannot open '" + folder.file("Mill.xml/runs.csv") + "': Not a directory";
  while (headlessConsole().row(tallymark::plugin::kRunLogConsoleRow).empty()) Update();
  EXPECT_EQ(headlessConsole().row(tallymark::plugin::kRunLogConsoleRow), expected);

  headlessConsole().write(0, tallymark::plugin::kRunLogConsoleRow, "--");
  StopPlug();  // tries once more, and fails again: no news
  Update();
  EXPECT_EQ(headlessConsole().row(tallymark::plugin::kRunLogConsoleRow).substr(0, 3), "--n")
      << "shown when it changes only";
  EXPECT_EQ(host.dro(1500), 1);
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace

// The unchanged update tick allocates nothing, with the run log on and a run behind it.
// A program of its own: it counts every operator new in the process.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "alloc_counter.h"
#include "counter/counter_window.h"
#include "fake_host.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/run_record.h"
#include "plugin/state.h"
#include "settings/test_files.h"

namespace {

TEST(TickAllocations, AnUnchangedTickMakesNoneWithTheRunLogOn) {
  TempFolder folder;
  FakeHost host{FakeHost::NotInstalled{}};
  // The fake host's call log allocates; the plug-in gets plain callbacks instead.
  static double dros[2048];
  static bool leds[1024];
  SetGetDRO([](short n) { return dros[n]; });
  SetSetDRO([](short n, double v) { dros[n] = v; });
  SetGetLED([](short n) { return leds[n]; });
  const std::string profile = folder.file("Mill.xml");
  writeFile(profile, "<profile><Dazada_Ruvazidu></Dazada_Ruvazidu></profile>");
  SetProName(profile.c_str());
  InitControl(nullptr, nullptr, nullptr, nullptr);
  PostInitControl();
  ASSERT_NE(tallymark::plugin::state().runLogWriter, nullptr);

  dros[1500] = 41;
  dros[22] = 1;
  leds[804] = true;
  Update();
  leds[804] = false;
  Update();  // a counted run, logged
  Update();  // the labels take the new figures
  ASSERT_EQ(MG::dazada_ruvaziduDlg->lblCountVal.text(), "42");
  // The count covers every thread: the writer must be done with its line, and idle.
  const std::string log = folder.file("Mill.runs.csv");
  while (readFile(log).find("\r\ncounted,") == std::string::npos) Update();

  const uint64_t before = bench::allocations();
  for (int i = 0; i < 1000; ++i) Update();
  EXPECT_EQ(bench::allocations() - before, 0u);
  StopPlug();
}

}  // namespace

#include "options.h"

#include <gtest/gtest.h>

namespace tallymark::hostsim {
namespace {

TEST(Options, ReadsEveryOption) {
  Options o;
  EXPECT_EQ(parseOptions({"--dll", "C:\\p\\TALLY_MARK.dll", "--profile", "run\\Mach3Mill.xml",
                          "--state", "s.txt", "--script", "demo.script", "--controller",
                          "127.0.0.1", "--timeout", "90"},
                         o),
            "");
  EXPECT_EQ(o.dll, "C:\\p\\TALLY_MARK.dll");
  EXPECT_EQ(o.profile, "run\\Mach3Mill.xml");
  EXPECT_EQ(o.state, "s.txt");
  EXPECT_EQ(o.script, "demo.script");
  EXPECT_EQ(o.controller, "127.0.0.1");
  EXPECT_EQ(o.timeoutSeconds, 90);
  EXPECT_FALSE(o.help);
}

TEST(Options, RefusesWhatItCannotUse) {
  Options o;
  EXPECT_NE(parseOptions({"--profile"}, o), "");
  EXPECT_NE(parseOptions({"--profile", ""}, o), "");
  EXPECT_NE(parseOptions({"--verbose"}, o), "");
  EXPECT_NE(parseOptions({"--timeout", "0"}, o), "");
  EXPECT_NE(parseOptions({"--timeout", "5s"}, o), "");
  EXPECT_EQ(parseOptions({"/?"}, o), "");
  EXPECT_TRUE(o.help);
}

TEST(Options, StateFileGoesBesideTheProfile) {
  EXPECT_EQ(besideFile("run\\Mach3Mill.xml", "hostsim-state.txt"), "run\\hostsim-state.txt");
  EXPECT_EQ(besideFile("/tmp/a/Mach3Mill.xml", "s"), "/tmp/a/s");
  EXPECT_EQ(besideFile("Mach3Mill.xml", "s"), "s");
  EXPECT_EQ(besideFile("C:\\x/y\\p.xml", "s"), "C:\\x/y\\s");
}

}  // namespace
}  // namespace tallymark::hostsim

#include "profile_settings.h"

#include <gtest/gtest.h>

namespace tallymark::hostsim {
namespace {

TEST(ProfileSettings, ThePanelShowsTheThreeBatchSettingsAsWritten) {
  const BatchSettings s = readBatchSettings(
      "<profile><Other><RequiredParts>9</RequiredParts></Other><Dazada_Ruvazidu>"
      "<RequiredParts>5</RequiredParts><RequiredPartsLED>1050</RequiredPartsLED>"
      "<RequiredPartsCode>M98 P&quot;stop&quot; &amp; M30</RequiredPartsCode>"
      "</Dazada_Ruvazidu></profile>");
  EXPECT_TRUE(s.found);
  EXPECT_EQ(s.requiredParts, "5") << "only the plug-in's section counts";
  EXPECT_EQ(describeBatchSettings(s, true),
            "RequiredParts 5, LED 1050 (ON), code \"M98 P\"stop\" & M30\"");
  EXPECT_EQ(describeBatchSettings(s, false),
            "RequiredParts 5, LED 1050 (off), code \"M98 P\"stop\" & M30\"");

  const BatchSettings none = readBatchSettings("<profile><Dazada_Ruvazidu/></profile>");
  EXPECT_FALSE(none.found);
  EXPECT_EQ(describeBatchSettings(none, false), "RequiredParts: off (not in the profile)");
  const BatchSettings bare = readBatchSettings(
      "<profile><Dazada_Ruvazidu><RequiredParts>abc</RequiredParts></Dazada_Ruvazidu></profile>");
  EXPECT_EQ(describeBatchSettings(bare, false), "RequiredParts abc, no LED, no code line");
}

}  // namespace
}  // namespace tallymark::hostsim

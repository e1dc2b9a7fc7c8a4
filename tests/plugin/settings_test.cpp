// The plug-in's settings through SetProName and StopPlug, as the host calls them.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "plugin/device.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/plugin_boxes.h"
#include "plugin/settings_globals.h"
#include "settings/test_files.h"
#include "settings/xml_net_profile.h"

namespace {

using tallymark::settings::kCamPositions;

std::string profileWith(const std::string& section, const std::string& plugins = "") {
  return "<?xml version=\"1.0\"?>\n<profile>\n\t<Preferences><Units>mm</Units></Preferences>\n"
         "\t<Dazada_Ruvazidu>" +
         section + "</Dazada_Ruvazidu>\n" + plugins + "</profile>\n";
}

std::string readKey(const std::string& path, const std::string& section, const std::string& key) {
  XMLNetProfile p(path, section, true);
  EXPECT_TRUE(p.Load());
  return p.ReadString(key, "<missing>");
}

void scribbleOverGlobals() {
  MyDeviceClass::SaveAutoStart(true, 7, "junk", true);
  for (int i = 0; i < kCamPositions; ++i)
    MyDeviceClass::LoadCamPos(static_cast<uint8_t>(i), 9, 9, 9);
  MyDeviceClass::LoadTolerance(9, 9, 9);
  MyDeviceClass::SaveExtScanSelect(false, false, false, false, 9);
}

TEST(Settings, EmptySectionGivesEveryDefaultAndRegistersThePlugin) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string path = folder.file("Mach3Mill.xml");
  writeFile(path, profileWith(""));
  scribbleOverGlobals();

  EXPECT_STREQ(SetProName(path.c_str()), "Tallymark_v1.0");
  ASSERT_NE(MG::xyzDemoConfig, nullptr);
  const XYZDemoConfig& c = *MG::xyzDemoConfig;
  EXPECT_FALSE(c.enableDlg);
  EXPECT_TRUE(c.enableX && c.enableY && c.enableZ);
  EXPECT_FALSE(c.AutoStart || c.AutoScan || c.IPCam || c.UsbCam);
  EXPECT_EQ(c.CamType, 0);
  EXPECT_EQ(c.IPCamPath, "");
  EXPECT_EQ(CamType.load(), 0);
  EXPECT_EQ(IPCamPath.get(), "");
  EXPECT_FALSE(AutoStart || AutoScan);
  for (const tcp_data& pos : CamPosData) EXPECT_TRUE(pos.X == 0 && pos.Y == 0 && pos.Z == 0);
  EXPECT_TRUE(AngleTol == 0 && LenTol == 0 && Pixelpermm == 0 && ExtScanLen == 0);
  for (bool selected : ExtScanSelect) EXPECT_TRUE(selected);

  EXPECT_EQ(readKey(path, "PlugIns", "Tallymark_v1.0"), "1");
  EXPECT_EQ(readKey(path, "Preferences", "Units"), "mm") << "other sections travel";
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(Settings, EveryKeyReachesItsFieldAndGlobal) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string path = folder.file("p.xml");
  writeFile(path, profileWith(
                      "<Dlg>True</Dlg><Axis><X>False</X><Y>True</Y><Z>no</Z></Axis>"
                      "<AutoStart>True</AutoStart><AutoScan>True</AutoScan><CamType> 1 </CamType>"
                      "<IPCamPath>rtsp://192.168.1.10:554/stream</IPCamPath>"
                      "<Pos1X>1.5</Pos1X><Pos1Y>-2</Pos1Y><Pos1Z>3</Pos1Z><Pos3Y>33</Pos3Y>"
                      "<Pos5X>5</Pos5X><Pos5Z>5,000.25</Pos5Z>"
                      "<AngleTol>0.5</AngleTol><LenTol>0.02</LenTol><Pixelpermm>12.75</Pixelpermm>"
                      "<ExtRit>False</ExtRit><ExtScanLen>40</ExtScanLen>"));
  SetProName(path.c_str());
  const XYZDemoConfig& c = *MG::xyzDemoConfig;
  EXPECT_TRUE(c.enableDlg);
  EXPECT_FALSE(c.enableX);
  EXPECT_TRUE(c.enableY);
  EXPECT_FALSE(c.enableZ);
  EXPECT_TRUE(c.AutoStart && c.AutoScan && AutoStart && AutoScan);
  EXPECT_EQ(c.CamType, 1);
  EXPECT_EQ(CamType.load(), 1);
  EXPECT_EQ(c.IPCamPath, "rtsp://192.168.1.10:554/stream");
  EXPECT_EQ(IPCamPath.get(), "rtsp://192.168.1.10:554/stream");
  EXPECT_EQ(CamPosData[0].X, 1.5);
  EXPECT_EQ(CamPosData[0].Y, -2.0);
  EXPECT_EQ(CamPosData[0].Z, 3.0);
  EXPECT_EQ(CamPosData[2].Y, 33.0);
  EXPECT_EQ(CamPosData[4].X, 5.0);
  EXPECT_EQ(CamPosData[4].Z, 5000.25);
  EXPECT_EQ(CamPosData[1].X, 0.0);
  EXPECT_EQ(AngleTol, 0.5);
  EXPECT_EQ(LenTol, 0.02);
  EXPECT_EQ(Pixelpermm, 12.75);
  EXPECT_EQ(ExtScanLen, 40.0);
  // ExtRit is element 1 (right); the order is up, right, down, left.
  EXPECT_TRUE(ExtScanSelect[0]);
  EXPECT_FALSE(ExtScanSelect[1]);
  EXPECT_TRUE(ExtScanSelect[2]);
  EXPECT_TRUE(ExtScanSelect[3]);

  writeFile(path, profileWith("<ExtDwn>False</ExtDwn>"));
  XYZDemoConfig* before = MG::xyzDemoConfig;
  SetProName(path.c_str());
  EXPECT_NE(MG::xyzDemoConfig, before) << "a new record each time";
  EXPECT_FALSE(MG::xyzDemoConfig->enableDlg);
  EXPECT_EQ(CamType.load(), 0) << "every global is overwritten again";
  EXPECT_EQ(IPCamPath.get(), "");
  EXPECT_EQ(CamPosData[4].Z, 0.0);
  EXPECT_TRUE(ExtScanSelect[0] && ExtScanSelect[1] && ExtScanSelect[3]);
  EXPECT_FALSE(ExtScanSelect[2]);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(Settings, PluginsEntryIsSetWhenZeroOrMissingAndKeptOtherwise) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string path = folder.file("p.xml");
  struct Case {
    std::string plugins;
    std::string expected;
  } cases[] = {
      {"", "1"},
      {"<PlugIns><Tallymark_v1.0>0</Tallymark_v1.0></PlugIns>", "1"},
      {"<PlugIns><Tallymark_v1.0>2</Tallymark_v1.0></PlugIns>", "2"},
      {"<PlugIns><Tallymark_v1.0>junk</Tallymark_v1.0></PlugIns>", "1"},
  };
  for (const Case& c : cases) {
    std::string original = profileWith("<CamType>2</CamType>", c.plugins);
    writeFile(path, original);
    SetProName(path.c_str());
    EXPECT_EQ(readKey(path, "PlugIns", "Tallymark_v1.0"), c.expected) << c.plugins;
    EXPECT_NE(readFile(path), original) << "saved in the fresh layout even when unchanged";
    EXPECT_EQ(readKey(path, "Dazada_Ruvazidu", "CamType"), "2");
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(Settings, MalformedNumbersFallBackToDefaults) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string path = folder.file("p.xml");
  writeFile(path, profileWith("<CamType>1O</CamType><Pos1X>1.2.3</Pos1X><AngleTol>1e999</AngleTol>"
                              "<ExtScanLen>NaN</ExtScanLen><IPCamPath>x</IPCamPath>"));
  EXPECT_STREQ(SetProName(path.c_str()), "Tallymark_v1.0");
  EXPECT_EQ(CamType.load(), 0);
  EXPECT_EQ(CamPosData[0].X, 0.0);
  EXPECT_EQ(AngleTol, 0.0);
  EXPECT_EQ(ExtScanLen, 0.0);
  EXPECT_EQ(IPCamPath.get(), "x");
}

TEST(Settings, UnloadableProfileGivesDefaultsTwoBoxesAndNoWrite) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string broken = folder.file("broken.xml");
  writeFile(broken, "<profile><Dazada_Ruvazidu><CamType>1</CamType>");
  scribbleOverGlobals();
  EXPECT_STREQ(SetProName(broken.c_str()), "Tallymark_v1.0");
  EXPECT_EQ(boxes.shown.size(), 2u) << "one box per failed load";
  EXPECT_EQ(CamType.load(), 0);
  EXPECT_TRUE(MG::xyzDemoConfig->enableX);
  EXPECT_EQ(readFile(broken), "<profile><Dazada_Ruvazidu><CamType>1</CamType>");

  boxes.shown.clear();
  std::string missing = folder.file("missing.xml");
  SetProName(missing.c_str());
  StopPlug();
  EXPECT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(folder.entries().size(), 1u) << "a missing profile is not created";
}

// Text the profile store could not give back unchanged: SetProName and StopPlug report
// each load and leave the host's file exactly as it was.
TEST(Settings, ProfilesThatCannotBeKeptExactlyAreNeverWritten) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string path = folder.file("p.xml");
  const std::string files[] = {
      profileWith("<IPCamPath>caf\xE9</IPCamPath>"),
      "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?>" + profileWith(""),
      profileWith("<IPCamPath>a&nbsp;b</IPCamPath>"),
      profileWith("") + "<profile/>\n",
  };
  for (const std::string& bytes : files) {
    writeFile(path, bytes);
    boxes.shown.clear();
    SetProName(path.c_str());
    StopPlug();
    EXPECT_EQ(boxes.shown.size(), 3u) << bytes;
    EXPECT_EQ(readFile(path), bytes);
  }
}

TEST(Settings, StopPlugRewritesTheProfileWithTheSameContent) {
  TempFolder folder;
  PluginBoxes boxes;
  std::string path = folder.file("p.xml");
  writeFile(path, profileWith("<CamType>2</CamType><!-- note -->",
                              "\t<PlugIns><Tallymark_v1.0>1</Tallymark_v1.0></PlugIns>\n"));
  SetProName(path.c_str());
  std::string afterStart = readFile(path);
  writeFile(path, profileWith("<CamType>1</CamType><!-- note -->"));
  StopPlug();
  std::string stopped = readFile(path);
  EXPECT_NE(stopped.find("<CamType>1</CamType>"), std::string::npos)
      << "the file's content, not the settings in memory, is written back";
  EXPECT_NE(stopped.find("<!-- note -->"), std::string::npos);
  EXPECT_EQ(stopped.find("PlugIns"), std::string::npos) << "StopPlug adds nothing";
  EXPECT_EQ(CamType.load(), 2) << "StopPlug leaves the settings in memory alone";
  EXPECT_NE(afterStart.find("<Tallymark_v1.0>1</Tallymark_v1.0>"), std::string::npos);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(Settings, SettersIgnoreAnOutOfRangePosition) {
  MyDeviceClass::LoadCamPos(0, 1, 2, 3);
  MyDeviceClass::LoadCamPos(5, 7, 7, 7);
  MyDeviceClass::LoadCamPos(255, 7, 7, 7);
  EXPECT_EQ(CamPosData[0].Z, 3.0);
  for (const tcp_data& pos : CamPosData) EXPECT_NE(pos.X, 7.0);
}

TEST(Settings, CameraGlobalsAreSafeToReadWhileSetProNameRuns) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  const std::string a(200, 'a'), b = "rtsp://short";
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        std::string seen = IPCamPath.get();
        int32_t type = CamType.load();
        EXPECT_TRUE(seen == a || seen == b || seen.empty()) << seen;
        EXPECT_TRUE(type >= 0 && type <= 2);
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    MyDeviceClass::SaveAutoStart(false, i % 3, i % 2 ? a : b, false);
  }
  stop = true;
  for (auto& t : readers) t.join();
}

}  // namespace

// The section "Dazada_Ruvazidu" read into a value, the "PlugIns" entry and the shut-down
// write-back, without the plug-in around them.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"
#include "settings/xml_net_profile.h"
#include "test_files.h"

namespace {

using tallymark::settings::kCamPositions;
using tallymark::settings::LoadedSettings;
using tallymark::settings::PluginSettings;
using tallymark::settings::readPluginSettings;

std::string profileWith(const std::string& section) {
  return "<?xml version=\"1.0\"?>\n<profile>\n\t<Dazada_Ruvazidu>" + section +
         "</Dazada_Ruvazidu>\n</profile>\n";
}

PluginSettings readFrom(const std::string& bytes, const tallymark::platform::Environment& boxes =
                                                      tallymark::platform::systemEnvironment()) {
  XMLNetProfile profile("unused.xml", "Dazada_Ruvazidu", true);
  profile.setEnvironment(boxes);
  profile.loadFromBytes(bytes);
  return readPluginSettings(profile);
}

void expectDefaults(const PluginSettings& s, const std::string& context) {
  SCOPED_TRACE(context);
  const XYZDemoConfig& r = s.record;
  EXPECT_FALSE(r.enableDlg);
  EXPECT_TRUE(r.enableX && r.enableY && r.enableZ);
  EXPECT_FALSE(r.AutoStart || r.AutoScan || r.IPCam || r.UsbCam);
  EXPECT_EQ(r.CamType, 0);
  EXPECT_EQ(r.IPCamPath, "");
  EXPECT_TRUE(r.runLog);
  EXPECT_EQ(r.runLogPath, "");
  EXPECT_EQ(r.mtconnectPort, 0);
  EXPECT_EQ(r.mtconnectAddress, "");
  for (const tcp_data& pos : s.camPositions) EXPECT_TRUE(pos.X == 0 && pos.Y == 0 && pos.Z == 0);
  EXPECT_TRUE(s.angleTol == 0 && s.lenTol == 0 && s.pixelPerMm == 0 && s.extScanLen == 0);
  EXPECT_TRUE(s.extUp && s.extDown && s.extLeft && s.extRight);
}

TEST(PluginSettingsValues, EveryKeyHasItsDefaultWhereverTheSectionIsMissing) {
  MessageCatcher boxes;
  expectDefaults(readFrom(profileWith("")), "empty section");
  expectDefaults(readFrom("<profile><Other><CamType>2</CamType><ExtUp>False</ExtUp></Other>"
                          "</profile>"),
                 "no section, same keys elsewhere");
  expectDefaults(readFrom("<profile><Dazada_Ruvazidu><CamType>1</CamType>", boxes.environment),
                 "broken file");
  EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST(PluginSettingsValues, EachKeyReachesItsOwnField) {
  // Distinct values everywhere, so that two keys swapped or read into one field show.
  std::string section =
      "<Dlg>True</Dlg><Axis><X>False</X><Y>True</Y><Z>False</Z></Axis>"
      "<AutoStart>True</AutoStart><AutoScan>False</AutoScan><CamType>2</CamType>"
      "<IPCamPath>rtsp://cam/\xC3\xA9</IPCamPath><RunLog>0</RunLog>"
      "<RunLogPath>D:\\runs.csv</RunLogPath><MTConnectPort>7878</MTConnectPort>"
      "<MTConnectAddress>127.0.0.1</MTConnectAddress>"
      "<AngleTol>0.5</AngleTol><LenTol>0.25</LenTol><Pixelpermm>12.75</Pixelpermm>"
      "<ExtUp>True</ExtUp><ExtDwn>False</ExtDwn><ExtLft>True</ExtLft><ExtRit>False</ExtRit>"
      "<ExtScanLen>40</ExtScanLen>";
  const char axes[] = "XYZ";
  for (int i = 0; i < kCamPositions; ++i) {
    for (int a = 0; a < 3; ++a) {
      std::string key = "Pos" + std::to_string(i + 1) + axes[a];
      section += "<" + key + ">" + std::to_string(i * 10 + a + 1) + "</" + key + ">";
    }
  }
  const PluginSettings s = readFrom(profileWith(section));
  const XYZDemoConfig& r = s.record;
  EXPECT_TRUE(r.enableDlg);
  EXPECT_FALSE(r.enableX);
  EXPECT_TRUE(r.enableY);
  EXPECT_FALSE(r.enableZ);
  EXPECT_TRUE(r.AutoStart);
  EXPECT_FALSE(r.AutoScan);
  EXPECT_EQ(r.CamType, 2);
  EXPECT_EQ(r.IPCamPath, "rtsp://cam/\xC3\xA9") << "kept in UTF-8";
  EXPECT_FALSE(r.runLog);
  EXPECT_EQ(r.runLogPath, "D:\\runs.csv");
  EXPECT_EQ(r.mtconnectPort, 7878);
  EXPECT_EQ(r.mtconnectAddress, "127.0.0.1");
  for (int i = 0; i < kCamPositions; ++i) {
    EXPECT_EQ(s.camPositions[i].X, i * 10 + 1) << i;
    EXPECT_EQ(s.camPositions[i].Y, i * 10 + 2) << i;
    EXPECT_EQ(s.camPositions[i].Z, i * 10 + 3) << i;
  }
  EXPECT_EQ(s.angleTol, 0.5);
  EXPECT_EQ(s.lenTol, 0.25);
  EXPECT_EQ(s.pixelPerMm, 12.75);
  EXPECT_TRUE(s.extUp);
  EXPECT_FALSE(s.extDown);
  EXPECT_TRUE(s.extLeft);
  EXPECT_FALSE(s.extRight);
  EXPECT_EQ(s.extScanLen, 40.0);
}

TEST(PluginSettingsValues, RunLogIsOffOnlyForZero) {
  struct Case {
    const char* section;
    bool on;
  } cases[] = {
      {"<RunLog>0</RunLog>", false},    {"<RunLog> -0 </RunLog>", false},
      {"<RunLog>2</RunLog>", true},     {"<RunLog>-1</RunLog>", true},
      {"<RunLog>off</RunLog>", true},   {"<RunLog></RunLog>", true},
      {"<RunLog>False</RunLog>", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readFrom(profileWith(c.section)).record.runLog, c.on) << c.section;
  }
}

TEST(PluginSettingsValues, RunLogSeparatorIsASemicolonOnlyWhenItSaysExactlyThat) {
  struct Case {
    const char* section;
    char separator;
  } cases[] = {
      {"", ','},
      {"<RunLogSeparator>;</RunLogSeparator>", ';'},
      {"<RunLogSeparator>,</RunLogSeparator>", ','},
      {"<RunLogSeparator>\t</RunLogSeparator>", ','},
      {"<RunLogSeparator>;;</RunLogSeparator>", ','},
      {"<RunLogSeparator></RunLogSeparator>", ','},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readFrom(profileWith(c.section)).record.runLogSeparator, c.separator) << c.section;
  }
}

TEST(PluginSettingsValues, LoadReportsAFailureAndGivesDefaults) {
  TempFolder folder;
  MessageCatcher boxes;
  std::string path = folder.file("p.xml");
  writeFile(path, profileWith("<CamType>1</CamType><ExtLft>False</ExtLft>"));
  LoadedSettings read = tallymark::settings::loadPluginSettings(path, nullptr, boxes.environment);
  EXPECT_TRUE(read.loaded);
  EXPECT_EQ(read.values.record.CamType, 1);
  EXPECT_FALSE(read.values.extLeft);
  EXPECT_EQ(readFile(path), profileWith("<CamType>1</CamType><ExtLft>False</ExtLft>"))
      << "reading never writes";
  EXPECT_TRUE(boxes.shown.empty());

  read = tallymark::settings::loadPluginSettings(folder.file("missing.xml"), nullptr,
                                                 boxes.environment);
  EXPECT_FALSE(read.loaded);
  expectDefaults(read.values, "missing file");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "XMLNetProfile");
  EXPECT_EQ(boxes.shown[0].text.rfind("Warning - ", 0), 0u);
  EXPECT_EQ(folder.entries().size(), 1u) << "a missing profile is not created";
}

TEST(PluginSettingsValues, RegistrationAndWriteBackLeaveUnloadableFilesAlone) {
  TempFolder folder;
  MessageCatcher boxes;
  const std::string broken = folder.file("broken.xml");
  const std::string missing = folder.file("missing.xml");
  writeFile(broken, "<profile><PlugIns>");
  tallymark::settings::registerPlugin(broken, "Tallymark_v1.0", nullptr, boxes.environment);
  tallymark::settings::writeBackProfile(broken, nullptr, boxes.environment);
  tallymark::settings::registerPlugin(missing, "Tallymark_v1.0", nullptr, boxes.environment);
  tallymark::settings::writeBackProfile(missing, nullptr, boxes.environment);
  EXPECT_EQ(boxes.shown.size(), 4u) << "one box per failed load";
  EXPECT_EQ(readFile(broken), "<profile><PlugIns>");
  EXPECT_EQ(folder.entries().size(), 1u);
}

TEST(PluginSettingsValues, RegistrationWritesTheNamedEntryOnly) {
  TempFolder folder;
  MessageCatcher boxes;
  const std::string path = folder.file("p.xml");
  writeFile(path, "<profile><PlugIns><Other>0</Other></PlugIns></profile>");
  tallymark::settings::registerPlugin(path, "Some_Plugin", nullptr, boxes.environment);
  XMLNetProfile check(path, "PlugIns", true);
  check.setEnvironment(boxes.environment);
  ASSERT_TRUE(check.Load());
  EXPECT_EQ(check.ReadString("Some_Plugin", "<missing>"), "1");
  EXPECT_EQ(check.ReadString("Other", "<missing>"), "0") << "another plug-in's entry stays";
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace

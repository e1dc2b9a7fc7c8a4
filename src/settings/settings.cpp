// piSetProName and piStopPlug, and the setters of the settings globals.
#include "settings/settings.h"

#include <deque>

#include "platform/ansi_text.h"
#include "plugin/device.h"
#include "plugin/host.h"
#include "plugin/menu.h"
#include "plugin/mg.h"
#include "plugin/monitoring.h"
#include "plugin/plugin.h"
#include "plugin/run_record.h"
#include "settings/xml_net_profile.h"

std::atomic<int32_t> CamType{0};
SharedText IPCamPath;
bool AutoStart = false;
bool AutoScan = false;
double AngleTol = 0.0;
double LenTol = 0.0;
double Pixelpermm = 0.0;
bool ExtScanSelect[4] = {false, false, false, false};
double ExtScanLen = 0.0;
tcp_data CamPosData[kCamPositions];

namespace {
constexpr char kSettingsSection[] = "Dazada_Ruvazidu";
constexpr char kPluginsSection[] = "PlugIns";

// Every record SetProName made. A replaced record is kept, not freed: code elsewhere may
// still hold the pointer it read from MG::xyzDemoConfig. A deque never moves its elements.
std::deque<XYZDemoConfig>& allRecords() {
  static std::deque<XYZDemoConfig> records;
  return records;
}
}  // namespace

void MyDeviceClass::LoadCamPos(uint8_t pos, double loadX, double loadY, double loadZ) {
  if (pos >= kCamPositions) return;
  CamPosData[pos].X = loadX;
  CamPosData[pos].Y = loadY;
  CamPosData[pos].Z = loadZ;
}

void MyDeviceClass::LoadTolerance(double Angle, double Len, double px_mm) {
  AngleTol = Angle;
  LenTol = Len;
  Pixelpermm = px_mm;
}

void MyDeviceClass::SaveExtScanSelect(bool ext_up, bool ext_dwn, bool ext_left, bool ext_right,
                                      double ext_Len) {
  ExtScanSelect[0] = ext_up;
  ExtScanSelect[1] = ext_right;
  ExtScanSelect[2] = ext_dwn;
  ExtScanSelect[3] = ext_left;
  ExtScanLen = ext_Len;
}

void MyDeviceClass::SaveAutoStart(bool _AutoStart, int32_t CamType, const std::string& _IPCamPath,
                                  bool _AutoScan) {
  AutoStart = _AutoStart;
  ::CamType.store(CamType);
  IPCamPath.set(tallymark::platform::toAnsiCodePage(_IPCamPath));
  AutoScan = _AutoScan;
}

const char* piSetProName(const char*) {
  // Without a profile name there is no file to read; the settings keep their values.
  if (ProfileName == nullptr) return kPluginName;

  XYZDemoConfig* config = &allRecords().emplace_back();
  XMLNetProfile settings(ProfileName, kSettingsSection, true);
  // The boxes belong to the host's frame, so that they stay in front of it and the frame
  // waits while the host's thread does.
  void* frame = findHostFrame();
  settings.SetMessageOwner(frame);
  // A failed load has been reported; every read below then gives its default.
  const bool loaded = settings.Load();
  config->enableDlg = settings.ReadBool("Dlg", false);
  config->enableX = settings.ReadBool("Axis/X", true);
  config->enableY = settings.ReadBool("Axis/Y", true);
  config->enableZ = settings.ReadBool("Axis/Z", true);
  config->AutoStart = settings.ReadBool("AutoStart", false);
  config->AutoScan = settings.ReadBool("AutoScan", false);
  config->CamType = settings.ReadInt("CamType", 0);
  config->IPCamPath = settings.ReadString("IPCamPath", "");
  config->runLog = settings.ReadInt("RunLog", 1) != 0;
  config->runLogPath = settings.ReadString("RunLogPath", "");
  config->mtconnectPort = settings.ReadInt("MTConnectPort", 0);
  config->mtconnectAddress = settings.ReadString("MTConnectAddress", "");

  for (int i = 0; i < kCamPositions; ++i) {
    std::string key = "Pos" + std::to_string(i + 1);
    MyDeviceClass::LoadCamPos(static_cast<uint8_t>(i), settings.ReadDouble(key + "X", 0.0),
                              settings.ReadDouble(key + "Y", 0.0),
                              settings.ReadDouble(key + "Z", 0.0));
  }
  MyDeviceClass::LoadTolerance(settings.ReadDouble("AngleTol", 0.0),
                               settings.ReadDouble("LenTol", 0.0),
                               settings.ReadDouble("Pixelpermm", 0.0));
  MyDeviceClass::SaveExtScanSelect(settings.ReadBool("ExtUp", true),
                                   settings.ReadBool("ExtDwn", true),
                                   settings.ReadBool("ExtLft", true),
                                   settings.ReadBool("ExtRit", true),
                                   settings.ReadDouble("ExtScanLen", 0.0));
  MyDeviceClass::SaveAutoStart(settings.ReadBool("AutoStart", false),
                               settings.ReadInt("CamType", 0),
                               settings.ReadString("IPCamPath", ""),
                               settings.ReadBool("AutoScan", false));
  MG::xyzDemoConfig = config;
  // Unless the profile was read, the operator's RunLog setting is unknown: no log.
  configureRunLog(ProfileName, loaded && config->runLog, config->runLogPath);
  configureMonitoring(config->mtconnectPort, config->mtconnectAddress);

  XMLNetProfile plugins(ProfileName, kPluginsSection, true);
  plugins.SetMessageOwner(frame);
  if (plugins.Load()) {
    if (plugins.ReadInt(kPluginName, 0) == 0) plugins.WriteInt(kPluginName, 1);
    plugins.Save();
  }
  return kPluginName;
}

void piStopPlug() {
  stopRunLog();
  stopMonitoring();
  if (ProfileName == nullptr) return;
  XMLNetProfile profile(ProfileName, kSettingsSection, true);
  profile.SetMessageOwner(findHostFrame());
  if (profile.Load()) profile.Save();
}

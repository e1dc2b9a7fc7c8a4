#include "settings/settings.h"

#include <algorithm>

#include "settings/xml_net_profile.h"

namespace tallymark::settings {
namespace {

// The host takes one line of code at a time; a line break would hand it a second one.
std::string firstLine(std::string text) {
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  return text;
}

}  // namespace

PluginSettings readPluginSettings(const XMLNetProfile& profile) {
  PluginSettings s;
  XYZDemoConfig& r = s.record;
  r.enableDlg = profile.ReadBool("Dlg", false);
  r.enableX = profile.ReadBool("Axis/X", true);
  r.enableY = profile.ReadBool("Axis/Y", true);
  r.enableZ = profile.ReadBool("Axis/Z", true);
  r.AutoStart = profile.ReadBool("AutoStart", false);
  r.AutoScan = profile.ReadBool("AutoScan", false);
  r.CamType = profile.ReadInt("CamType", 0);
  r.IPCamPath = profile.ReadString("IPCamPath", "");
  r.runLog = profile.ReadInt("RunLog", 1) != 0;
  r.runLogPath = profile.ReadString("RunLogPath", "");
  r.runLogSeparator = profile.ReadString("RunLogSeparator", ",") == ";" ? ';' : ',';
  r.mtconnectPort = profile.ReadInt("MTConnectPort", 0);
  r.mtconnectAddress = profile.ReadString("MTConnectAddress", "");
  // A malformed or out-of-range number reads as 0, which is off like a negative one.
  r.requiredParts = std::max(profile.ReadInt("RequiredParts", 0), 0);
  const int32_t led = profile.ReadInt("RequiredPartsLED", 0);
  r.requiredPartsLed = led >= 1 && led <= kMaxLed ? led : 0;
  r.requiredPartsCode = firstLine(profile.ReadString("RequiredPartsCode", ""));

  for (int i = 0; i < kCamPositions; ++i) {
    const std::string key = "Pos" + std::to_string(i + 1);
    s.camPositions[i].X = profile.ReadDouble(key + "X", 0.0);
    s.camPositions[i].Y = profile.ReadDouble(key + "Y", 0.0);
    s.camPositions[i].Z = profile.ReadDouble(key + "Z", 0.0);
  }
  s.angleTol = profile.ReadDouble("AngleTol", 0.0);
  s.lenTol = profile.ReadDouble("LenTol", 0.0);
  s.pixelPerMm = profile.ReadDouble("Pixelpermm", 0.0);
  s.extUp = profile.ReadBool("ExtUp", true);
  s.extDown = profile.ReadBool("ExtDwn", true);
  s.extLeft = profile.ReadBool("ExtLft", true);
  s.extRight = profile.ReadBool("ExtRit", true);
  s.extScanLen = profile.ReadDouble("ExtScanLen", 0.0);
  return s;
}

LoadedSettings loadPluginSettings(const std::string& profileName, void* messageOwner,
                                  const platform::Environment& environment) {
  XMLNetProfile profile(profileName, kSettingsSection, true);
  profile.setMessageOwner(messageOwner);
  profile.setEnvironment(environment);
  LoadedSettings result;
  // A failed load leaves the document empty, and every read then gives its default.
  result.loaded = profile.Load();
  result.values = readPluginSettings(profile);
  return result;
}

void registerPlugin(const std::string& profileName, const std::string& pluginName,
                    void* messageOwner, const platform::Environment& environment) {
  XMLNetProfile plugins(profileName, kPluginsSection, true);
  plugins.setMessageOwner(messageOwner);
  plugins.setEnvironment(environment);
  if (!plugins.Load()) return;
  if (plugins.ReadInt(pluginName, 0) == 0) plugins.WriteInt(pluginName, 1);
  plugins.Save();
}

void writeBackProfile(const std::string& profileName, void* messageOwner,
                      const platform::Environment& environment) {
  XMLNetProfile profile(profileName, kSettingsSection, true);
  profile.setMessageOwner(messageOwner);
  profile.setEnvironment(environment);
  if (profile.Load()) profile.Save();
}

}  // namespace tallymark::settings

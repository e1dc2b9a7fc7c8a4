// The plug-in's settings in the host's profile: the section "Dazada_Ruvazidu" read into
// a value, the plug-in's entry in the section "PlugIns", and the profile written back at
// shut-down.
//
// Nothing here holds state: the caller decides where the values go. Every function runs
// on the calling thread, works on the disk of `environment`, and reports a failed load
// or save in its modal box ("Warning - " and the reason, caption "XMLNetProfile") owned
// by `messageOwner` (a native window, an HWND on Windows, or null).
#pragma once

#include <cstdint>
#include <string>

#include "platform/environment.h"

class XMLNetProfile;

// The settings record of one SetProName, kept in MG::xyzDemoConfig.
struct XYZDemoConfig {
  bool enableDlg = false;
  bool enableX = false;
  bool enableY = false;
  bool enableZ = false;
  std::string IPCamPath;  // UTF-8, as read from the profile
  bool IPCam = false;     // never loaded
  bool UsbCam = false;    // never loaded
  bool AutoStart = false;
  bool AutoScan = false;
  int32_t CamType = 0;
  // The run log: "RunLog" (a number, 0 switches it off) and "RunLogPath" (UTF-8, empty
  // for the file beside the profile).
  bool runLog = true;
  std::string runLogPath;
  // "RunLogSeparator": the run log's field separator, ',' or ';'; any other text
  // (missing, empty, longer, another character) gives ','.
  char runLogSeparator = ',';
  // The MTConnect adapter: "MTConnectPort" (0 or missing: off) and "MTConnectAddress"
  // (a dotted IPv4 address; empty: all addresses).
  int32_t mtconnectPort = 0;
  std::string mtconnectAddress;
  // The batch target: "RequiredParts" (0, missing or anything but a positive whole
  // number: off), "RequiredPartsLED" (the host LED lit while the batch is complete; 0,
  // missing or outside 1..32767: none) and "RequiredPartsCode" (UTF-8, its first line
  // only; empty: none).
  int32_t requiredParts = 0;
  int32_t requiredPartsLed = 0;
  std::string requiredPartsCode;
};

// One camera position; nothing in the plug-in reads it back.
struct tcp_data {
  double X = 0.0;
  double Y = 0.0;
  double Z = 0.0;
};

namespace tallymark::settings {

inline constexpr char kSettingsSection[] = "Dazada_Ruvazidu";
inline constexpr char kPluginsSection[] = "PlugIns";
inline constexpr int kCamPositions = 5;
// The host's LEDs are numbered by a 16-bit signed integer.
inline constexpr int32_t kMaxLed = 32767;

// Every key of the section "Dazada_Ruvazidu". A default-constructed value is not the
// section's defaults; readPluginSettings gives those.
struct PluginSettings {
  // "Dlg", "Axis/X", "Axis/Y", "Axis/Z", "AutoStart", "AutoScan", "CamType",
  // "IPCamPath", "RunLog", "RunLogPath", "RunLogSeparator", "MTConnectPort",
  // "MTConnectAddress", "RequiredParts", "RequiredPartsLED", "RequiredPartsCode".
  XYZDemoConfig record;
  // "Pos1X" .. "Pos5Z".
  tcp_data camPositions[kCamPositions];
  // "AngleTol", "LenTol", "Pixelpermm".
  double angleTol = 0.0;
  double lenTol = 0.0;
  double pixelPerMm = 0.0;
  // "ExtUp", "ExtDwn", "ExtLft", "ExtRit", "ExtScanLen".
  bool extUp = false;
  bool extDown = false;
  bool extLeft = false;
  bool extRight = false;
  double extScanLen = 0.0;
};

// The section as `profile` holds it, each key read once. A missing key or a malformed
// value gives the key's default; a profile that failed to load gives every default.
PluginSettings readPluginSettings(const XMLNetProfile& profile);

struct LoadedSettings {
  PluginSettings values;
  // False when the file could not be read or parsed: the failure was reported, and
  // `values` holds the defaults.
  bool loaded = false;
};

// Reads the file `profileName`'s section "Dazada_Ruvazidu". Never writes the file.
LoadedSettings loadPluginSettings(const std::string& profileName, void* messageOwner,
                                  const tallymark::platform::Environment& environment);

// Makes sure the section "PlugIns" of `profileName` holds the entry `pluginName` with a
// number other than 0: a missing, 0 or malformed entry becomes 1, any other number stays.
// The file is saved whenever it loaded, changed or not; one that failed to load is left
// as it is.
void registerPlugin(const std::string& profileName, const std::string& pluginName,
                    void* messageOwner, const tallymark::platform::Environment& environment);

// Loads `profileName` and saves it back unchanged, in the store's own layout. A file
// that fails to load is left as it is.
void writeBackProfile(const std::string& profileName, void* messageOwner,
                      const tallymark::platform::Environment& environment);

}  // namespace tallymark::settings

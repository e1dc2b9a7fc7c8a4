// SetProName and StopPlug: the settings read from the host's profile, applied to the
// plug-in's globals and the subsystems they configure, and the profile written back.
#include <string>

#include "platform/ansi_text.h"
#include "platform/file_io.h"
#include "plugin/device.h"
#include "plugin/host.h"
#include "plugin/menu.h"
#include "plugin/mg.h"
#include "plugin/monitoring.h"
#include "plugin/plugin.h"
#include "plugin/required_parts.h"
#include "plugin/run_record.h"
#include "plugin/settings_globals.h"
#include "plugin/state.h"
#include "settings/settings.h"

namespace plugin = tallymark::plugin;
namespace settings = tallymark::settings;

namespace {

std::string& profilePath() {
  return plugin::state().profilePath;
}

void applyToGlobals(const settings::PluginSettings& s) {
  for (int i = 0; i < settings::kCamPositions; ++i) {
    const tcp_data& pos = s.camPositions[i];
    MyDeviceClass::LoadCamPos(static_cast<uint8_t>(i), pos.X, pos.Y, pos.Z);
  }
  MyDeviceClass::LoadTolerance(s.angleTol, s.lenTol, s.pixelPerMm);
  MyDeviceClass::SaveExtScanSelect(s.extUp, s.extDown, s.extLeft, s.extRight, s.extScanLen);
  MyDeviceClass::SaveAutoStart(s.record.AutoStart, s.record.CamType, s.record.IPCamPath,
                               s.record.AutoScan);
}

}  // namespace

const char* piSetProName(const char*) {
  // Without a profile name there is no file to read; the settings keep their values.
  if (ProfileName == nullptr) return plugin::kPluginName;

  // One code page for the host's 8-bit name, the process's, as the host's own file
  // functions read it.
  profilePath() =
      tallymark::platform::absolutePath(tallymark::platform::fromAnsiCodePage(ProfileName));
  XYZDemoConfig* config = &plugin::state().settingsRecords.emplace_back();
  // The boxes belong to the host's frame, so that they stay in front of it and the frame
  // waits while the host's thread does.
  void* frame = plugin::findHostFrame();
  // A failed load has been reported; the values are then every key's default.
  const settings::LoadedSettings loaded =
      settings::loadPluginSettings(profilePath(), frame, plugin::state().environment);
  *config = loaded.values.record;
  applyToGlobals(loaded.values);
  MG::xyzDemoConfig = config;
  // Unless the profile was read, the operator's RunLog setting is unknown: no log.
  plugin::configureRunLog(profilePath(), loaded.loaded && config->runLog, config->runLogPath,
                          config->runLogSeparator);
  plugin::configureMonitoring(config->mtconnectPort, config->mtconnectAddress);
  plugin::configureRequiredParts(config->requiredParts, config->requiredPartsLed,
                                 config->requiredPartsCode);

  settings::registerPlugin(profilePath(), plugin::kPluginName, frame, plugin::state().environment);
  return plugin::kPluginName;
}

void piStopPlug() {
  plugin::stopRunLog();
  plugin::stopMonitoring();
  if (ProfileName == nullptr || profilePath().empty()) return;
  settings::writeBackProfile(profilePath(), plugin::findHostFrame(), plugin::state().environment);
}

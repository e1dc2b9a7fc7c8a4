// Bodies of the plug-in exports. Each runs on the host's user-interface thread, and
// none lets an exception out: the export layer catches everything.
#pragma once

namespace tallymark::plugin {

// The plug-in's name, returned by SetProName; static, valid for the life of the module.
inline constexpr char kPluginName[] = "Tallymark_v1.0";

}  // namespace tallymark::plugin

// The command identifier the host reserved for the plug-in's menu item at the first
// InitControl (that has a GetMenuRange callback); 0 until then.
extern int menuStart;

const char* piSetProName(const char* name);
bool piInitControl();
void piPostInitControl();
void piConfig();
void piStopPlug();
void piUpdate();
void piNotify(int id);

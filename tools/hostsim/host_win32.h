// The substitute host's shared state. Everything here belongs to the user-interface
// thread (the thread that loaded the plug-in and runs the frame), except the members
// marked atomic, which the script thread also reads.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "dro_state.h"
#include "plugin/host_types.h"
#include "production.h"

namespace tallymark::hostsim {

// The plug-in's exports as resolved by name. The required ones are never null once
// loadPlugin succeeded; the controller calls are null when the DLL does not have them.
struct PluginApi {
  const char*(TM_CDECL* SetProName)(const char*) = nullptr;
  bool(TM_CDECL* InitControl)(TrajBuffer*, setup_struct*, _TrajectoryControl*,
                              _CMach4View*) = nullptr;
  void(TM_CDECL* PostInitControl)() = nullptr;
  void(TM_CDECL* Config)() = nullptr;
  void(TM_CDECL* StopPlug)() = nullptr;
  void(TM_CDECL* Update)() = nullptr;
  void(TM_CDECL* Notify)(int) = nullptr;
  void(TM_CDECL* SetGetDRO)(GetDROFn) = nullptr;
  void(TM_CDECL* SetSetDRO)(SetDROFn) = nullptr;
  void(TM_CDECL* SetGetLED)(GetLEDFn) = nullptr;
  void(TM_CDECL* SetSetLED)(SetLEDFn) = nullptr;
  void(TM_CDECL* SetCode)(CodeFn) = nullptr;
  void(TM_CDECL* SetDoButton)(DoButtonFn) = nullptr;
  void(TM_CDECL* SetGetMenuRange)(GetMenuRangeFn) = nullptr;
  int(TM_STDCALL* Cnc_Init_Controller)() = nullptr;
  int(TM_STDCALL* Cnc_Communication_Enable)(const char*) = nullptr;
};

// The view object handed to InitControl. The plug-in never looks inside it; the layout
// is ours.
struct HostView {
  HWND frame;
};

struct Host {
  MachineState machine;
  Production production;
  PluginApi api;
  HMODULE module = nullptr;
  std::string profilePath;
  std::string statePath;
  std::string pluginName;
  std::string runLogPath;              // the plug-in's run log beside the profile
  long long runLogSize = -1;           // its size when last shown
  std::vector<std::string> codeLines;  // every line of code the plug-in handed over

  HWND frame = nullptr;
  int firstPluginId = 1000;  // GetMenuRange hands out identifiers from here
  int nextPluginId = 1000;
  bool inUpdate = false;
  bool stopped = false;  // StopPlug has been called

  // Read by the script thread.
  std::atomic<int> scriptDispatchRequests{0};
  std::atomic<bool> configRunning{false};
  std::atomic<int> configCalls{0};
};

// The one host of this process; the plug-in's callbacks have no context argument.
Host& host();

// Loads the DLL and resolves its exports; returns an error text, empty on success.
// The controller calls are optional and left null when missing.
std::string loadPlugin(const std::string& path, Host& h);
// Hands the callbacks over through the Set... exports.
void installCallbacks(Host& h);

// The main frame with its menu bar and machine panel, shown; the 100 ms update tick
// starts with startTicking, after PostInitControl.
HWND createFrame(Host& h);
void startTicking(Host& h);
// Runs `fn` on the user-interface thread and waits for it. Returns false when the frame
// is gone and `fn` did not run.
bool runOnUi(Host& h, const std::function<void()>& fn);
// Stops the plug-in (once), saves the state and destroys the frame.
void shutDown(Host& h);
// Saves the DROs when they changed; reports a failure on stderr.
void saveState(Host& h);

// Command identifier of the frame's own "Config" menu entry.
constexpr int kConfigCommand = 200;
constexpr int kExitCommand = 201;
// Message that runOnUi sends to the frame.
constexpr UINT kRunOnUiMessage = WM_APP + 1;

// Automation: the host document object, registered as running.
struct AutomationRegistration {
  DWORD cookie = 0;
  bool progIdAdded = false;
};
AutomationRegistration registerAutomation(Host& h);
void revokeAutomation(const AutomationRegistration& registration);

}  // namespace tallymark::hostsim

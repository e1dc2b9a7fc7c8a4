// hostsim: a substitute for the CNC control host. Loads TALLY_MARK.dll and drives it in
// the host's order: the Set... exports, SetProName, InitControl, PostInitControl, then
// Update ten times a second on this (the user-interface) thread, StopPlug at the end.

// windows.h before the headers that build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "host_win32.h"
#include "ole_date.h"
#include "options.h"
#include "platform/ansi_text.h"
#include "platform/unique_handle_win32.h"
#include "platform/win32_text.h"
#include "run_log_view.h"
#include "script_runner_win32.h"
#include "version_resource_win32.h"

namespace tallymark::hostsim {

Host& host() {
  static Host instance;
  return instance;
}

namespace {

using tallymark::platform::narrow;

constexpr int kUsageError = 2;
constexpr int kTimedOut = 3;

std::string exeFolderFile(const std::string& name) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return besideFile(narrow(path), name);
}

bool readTextFile(const std::string& path, std::string& text) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

// The host always has its profile; a missing one is made empty, as a fresh install has.
void ensureProfile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::u8path(path), ec)) return;
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<profile>\n</profile>\n";
  std::fprintf(stderr, "hostsim: no profile %s; made an empty one\n", path.c_str());
}

// The outside program's calls, on a thread of their own as that program would make them.
// Each call is made when the plug-in has it, so the command server can be tried before
// the controller link is there.
void startController(Host& h, const std::string& controllerHost) {
  auto init = h.api.Cnc_Init_Controller;
  auto enable = h.api.Cnc_Communication_Enable;
  if (init == nullptr)
    std::fprintf(stderr, "hostsim: --controller: the plug-in has no _Cnc_Init_Controller@0\n");
  if (enable == nullptr)
    std::fprintf(stderr, "hostsim: --controller: the plug-in has no _Cnc_Communication_Enable@4\n");
  if (init == nullptr && enable == nullptr) return;
  std::thread([init, enable, controllerHost] {
    if (init != nullptr) {
      std::printf("hostsim: controller: Cnc_Init_Controller -> %d\n", init());
      std::fflush(stdout);
    }
    if (enable != nullptr) {
      const int result = enable(controllerHost.c_str());
      std::printf("hostsim: controller: Cnc_Communication_Enable(%s) -> %d\n",
                  controllerHost.c_str(), result);
      std::fflush(stdout);
    }
  }).detach();
}

// Ends the process when a script has hung (a box nobody answers, a plug-in that never
// returns): an unattended run must fail, not wait for ever.
void startWatchdog(const ScriptRunner& runner, int seconds) {
  const ScriptRunner* watched = &runner;
  std::thread([watched, seconds] {
    for (int waited = 0; waited < seconds * 10; ++waited) {
      if (watched->finished()) return;
      Sleep(100);
    }
    if (watched->finished()) return;
    std::fprintf(stderr, "hostsim: FAILED: the script did not finish within %d s (at line %d)\n",
                 seconds, watched->currentLine());
    std::fflush(stderr);
    ExitProcess(kTimedOut);
  }).detach();
}

// Ctrl+C in the console closes the host as its window would, so the plug-in is stopped
// and the DROs are saved; the handler runs on a thread of its own.
BOOL WINAPI onConsoleControl(DWORD) {
  HWND frame = host().frame;
  if (frame == nullptr) return FALSE;
  PostMessageW(frame, WM_CLOSE, 0, 0);
  return TRUE;
}

// Which build of the plug-in runs, from the DLL's own version resource.
void printPluginVersion(const std::string& dllPath) {
  VersionResource version;
  if (!readVersionResource(dllPath, version)) {
    std::printf("hostsim: the plug-in has no version resource\n");
    return;
  }
  std::string line = version.strings["ProductName"] + " " + version.strings["FileVersion"];
  const std::string& comments = version.strings["Comments"];
  if (!comments.empty()) line += " (" + comments + ")";
  std::printf("hostsim: plug-in %s\n", line.c_str());
}

void printFigures(const Host& h) {
  std::printf("count %.15g\ntotal %.15g\nlast reset %s\n", h.machine.dro(1500), h.machine.dro(1501),
              formatOleDate(h.machine.dro(1502)).c_str());
  std::fflush(stdout);
}

int run(const Options& options) {
  Host& h = host();
  h.profilePath = options.profile.empty() ? "Mach3Mill.xml" : options.profile;
  h.statePath =
      options.state.empty() ? besideFile(h.profilePath, "hostsim-state.txt") : options.state;
  h.runLogPath = runLogFile(h.profilePath);
  const std::string dllPath = options.dll.empty() ? exeFolderFile("TALLY_MARK.dll") : options.dll;

  // The plug-in reads the profile name as 8-bit text in the ANSI code page, which spells a
  // character it lacks as "?": the plug-in would be handed a path that names no file.
  const std::string ansiProfile = tallymark::platform::toAnsiCodePage(h.profilePath);
  if (std::count(ansiProfile.begin(), ansiProfile.end(), '?') !=
      std::count(h.profilePath.begin(), h.profilePath.end(), '?')) {
    std::fprintf(stderr, "hostsim: the ANSI code page cannot spell the profile path %s\n",
                 h.profilePath.c_str());
    return kUsageError;
  }

  Script script;
  if (!options.script.empty()) {
    std::string text;
    if (!readTextFile(options.script, text)) {
      std::fprintf(stderr, "hostsim: cannot read the script %s\n", options.script.c_str());
      return kUsageError;
    }
    script = parseScript(text);
    if (!script.error.empty()) {
      std::fprintf(stderr, "hostsim: %s: %s\n", options.script.c_str(), script.error.c_str());
      return kUsageError;
    }
  }

  std::map<short, double> dros;
  std::vector<std::string> warnings;
  std::string error;
  if (!loadStateFile(h.statePath, dros, warnings, error)) {
    std::fprintf(stderr, "hostsim: %s\n", error.c_str());
    return kUsageError;
  }
  for (const std::string& w : warnings)
    std::fprintf(stderr, "hostsim: %s: %s (ignored)\n", h.statePath.c_str(), w.c_str());
  h.machine.replaceDros(std::move(dros));
  ensureProfile(h.profilePath);

  // The host has COM ready on its user-interface thread before InitControl.
  CoInitialize(nullptr);
  const AutomationRegistration automation = registerAutomation(h);

  error = loadPlugin(dllPath, h);
  if (!error.empty()) {
    std::fprintf(stderr, "hostsim: %s\n", error.c_str());
    revokeAutomation(automation);
    return kUsageError;
  }
  if (createFrame(h) == nullptr) {
    std::fprintf(stderr, "hostsim: cannot create the main window\n");
    revokeAutomation(automation);
    return kUsageError;
  }

  // The host's objects live as long as the process: the plug-in keeps the pointers. The
  // machine's axes get plausible figures for the diagnostic dump; the setup record is
  // never read by the plug-in and stays an opaque zeroed block.
  static TrajBuffer engine{};
  static _TrajectoryControl planner{};
  alignas(8) static unsigned char setupRecord[1024] = {};
  static HostView view{};
  for (int axis = 0; axis < kHostAxes; ++axis) {
    planner.Axis[axis] = PlannerAxis{100.0, 10.0, 2000.0, 0.0};
    engine.Axis[axis].SlimHi = 100000;
    engine.Axis[axis].SlimLo = -100000;
  }
  view.frame = h.frame;

  installCallbacks(h);
  const char* name = h.api.SetProName(ansiProfile.c_str());
  h.pluginName = name != nullptr ? name : "";
  std::printf("hostsim: loaded %s: \"%s\", profile %s, state %s\n", dllPath.c_str(),
              h.pluginName.c_str(), h.profilePath.c_str(), h.statePath.c_str());
  printPluginVersion(dllPath);
  std::fflush(stdout);
  h.api.InitControl(&engine, reinterpret_cast<setup_struct*>(setupRecord), &planner,
                    reinterpret_cast<_CMach4View*>(&view));
  h.api.PostInitControl();
  startTicking(h);
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  if (!options.controller.empty()) startController(h, options.controller);

  ScriptRunner runner(h, std::move(script));
  if (!options.script.empty()) {
    startWatchdog(runner, options.timeoutSeconds);
    runner.start();
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (!h.stopped) shutDown(h);

  printFigures(h);
  revokeAutomation(automation);
  int code = 0;
  if (!options.script.empty()) {
    // The frame closed first when the operator closed it during the script.
    for (int i = 0; i < 50 && !runner.finished(); ++i) Sleep(100);
    code = runner.finished() ? runner.exitCode() : 1;
  }
  return code;
}

}  // namespace

}  // namespace tallymark::hostsim

int main() {
  int argc = 0;
  std::vector<std::string> args;
  {
    const tallymark::platform::UniqueLocal<LPWSTR*> argv(
        CommandLineToArgvW(GetCommandLineW(), &argc));
    for (int i = 1; argv && i < argc; ++i)
      args.push_back(tallymark::platform::narrow(argv.get()[i]));
  }

  tallymark::hostsim::Options options;
  std::string error = tallymark::hostsim::parseOptions(args, options);
  if (!error.empty() || options.help) {
    if (!error.empty()) std::fprintf(stderr, "hostsim: %s\n", error.c_str());
    std::fputs(tallymark::hostsim::usageText(), error.empty() ? stdout : stderr);
    return error.empty() ? 0 : 2;
  }
  const int code = tallymark::hostsim::run(options);
  std::fflush(stdout);
  std::fflush(stderr);
  // The plug-in's threads (command server, link) run until the process ends, and its
  // objects are never released: end here, as the host does, without unloading it.
  ExitProcess(static_cast<UINT>(code));
}

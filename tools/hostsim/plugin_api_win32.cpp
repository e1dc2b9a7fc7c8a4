// Loading the plug-in and the callbacks it gets: the host's side of the boundary.
#include <cstdio>

#include "host_win32.h"
#include "platform/win32_text.h"

namespace tallymark::hostsim {

namespace {

using tallymark::platform::widen;

template <typename F>
void resolve(HMODULE module, const char* name, F& target, std::string& missing) {
  target = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (target == nullptr) missing += std::string(missing.empty() ? "" : ", ") + name;
}

double TM_CDECL getDro(short n) {
  return host().machine.dro(n);
}
void TM_CDECL setDro(short n, double value) {
  host().machine.setDro(n, value);
}
bool TM_CDECL getLed(short n) {
  return host().machine.led(n);
}
void TM_CDECL setLed(short n, bool on) {
  host().machine.setLed(n, on);
}

void TM_CDECL code(const char* text) {
  host().codeLines.push_back(text ? text : "");
  std::printf("hostsim: plug-in ran G-code \"%s\" (not executed: no machine)\n", text ? text : "");
  std::fflush(stdout);
}

void TM_CDECL doButton(short button) {
  std::printf("hostsim: plug-in pressed button %d (no machine)\n", button);
  std::fflush(stdout);
}

// Reserves `count` consecutive command identifiers; WM_COMMAND with one of them goes
// to Notify.
int TM_CDECL getMenuRange(short count) {
  Host& h = host();
  const int first = h.nextPluginId;
  if (count > 0) h.nextPluginId += count;
  return first;
}

}  // namespace

std::string loadPlugin(const std::string& path, Host& h) {
  h.module = LoadLibraryW(widen(path).c_str());
  if (h.module == nullptr)
    return "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  PluginApi& a = h.api;
  std::string missing;
  resolve(h.module, "SetProName", a.SetProName, missing);
  resolve(h.module, "InitControl", a.InitControl, missing);
  resolve(h.module, "PostInitControl", a.PostInitControl, missing);
  resolve(h.module, "Config", a.Config, missing);
  resolve(h.module, "StopPlug", a.StopPlug, missing);
  resolve(h.module, "Update", a.Update, missing);
  resolve(h.module, "Notify", a.Notify, missing);
  resolve(h.module, "SetGetDRO", a.SetGetDRO, missing);
  resolve(h.module, "SetSetDRO", a.SetSetDRO, missing);
  resolve(h.module, "SetGetLED", a.SetGetLED, missing);
  resolve(h.module, "SetSetLED", a.SetSetLED, missing);
  resolve(h.module, "SetCode", a.SetCode, missing);
  resolve(h.module, "SetDoButton", a.SetDoButton, missing);
  resolve(h.module, "SetGetMenuRange", a.SetGetMenuRange, missing);
  if (!missing.empty()) return path + " is not a plug-in: it lacks " + missing;

  // Optional: only --controller uses them, and says so when they are missing.
  std::string optional;
  resolve(h.module, "_Cnc_Init_Controller@0", a.Cnc_Init_Controller, optional);
  resolve(h.module, "_Cnc_Communication_Enable@4", a.Cnc_Communication_Enable, optional);
  return {};
}

void installCallbacks(Host& h) {
  h.api.SetGetDRO(getDro);
  h.api.SetSetDRO(setDro);
  h.api.SetGetLED(getLed);
  h.api.SetSetLED(setLed);
  h.api.SetCode(code);
  h.api.SetDoButton(doButton);
  h.api.SetGetMenuRange(getMenuRange);
}

}  // namespace tallymark::hostsim

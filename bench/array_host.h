// The cheapest host the tick can have: DROs and LEDs in plain arrays, handed over through
// the plug-in's own Set... exports, so that the benchmarks measure the plug-in and the
// callback calls, not a fake host's bookkeeping.
#pragma once

#include "plugin/exports.h"
#include "plugin/host_types.h"

namespace bench {

inline double gDros[2048];
inline bool gLeds[1024];

inline double TM_CDECL hostGetDro(short n) {
  return gDros[n];
}
inline void TM_CDECL hostSetDro(short n, double v) {
  gDros[n] = v;
}
inline bool TM_CDECL hostGetLed(short n) {
  return gLeds[n];
}
inline void TM_CDECL hostSetLed(short n, bool on) {
  gLeds[n] = on;
}
inline void TM_CDECL hostCode(const char*) {}
inline void TM_CDECL hostDoButton(short) {}
inline int TM_CDECL hostGetMenuRange(short) {
  return 1000;
}

// A machine at rest between runs: a count, a total and a last reset in the DROs, LED 804
// off. The next tick writes the figures into the labels once; the ticks after it are
// unchanged ticks.
inline void restingFigures() {
  gDros[1500] = 1234;
  gDros[1501] = 56789;
  gDros[1502] = 46000.25;
  gLeds[804] = false;
}

// Hands the callbacks over and starts the plug-in as the host does (once per program).
inline void startPlugin() {
  static bool started = false;
  if (started) return;
  started = true;
  SetGetDRO(hostGetDro);
  SetSetDRO(hostSetDro);
  SetGetLED(hostGetLed);
  SetSetLED(hostSetLed);
  SetCode(hostCode);
  SetDoButton(hostDoButton);
  SetGetMenuRange(hostGetMenuRange);
  InitControl(nullptr, nullptr, nullptr, nullptr);
  PostInitControl();
}

}  // namespace bench

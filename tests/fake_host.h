// A fake host for tests: DROs and LEDs in maps, a log of every callback, installed
// through the plug-in's own Set... exports exactly as the host does it. Works both with
// the exports linked in (native and Wine test programs) and, through setter pointers,
// with a loaded TALLY_MARK.dll.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "counter/counter_rule.h"
#include "plugin/host_types.h"

class FakeHost {
 public:
  // Setter functions of a plug-in to hand the callbacks to.
  struct Setters {
    void(TM_CDECL* setGetDRO)(GetDROFn);
    void(TM_CDECL* setSetDRO)(SetDROFn);
    void(TM_CDECL* setGetLED)(GetLEDFn);
    void(TM_CDECL* setSetLED)(SetLEDFn);
    void(TM_CDECL* setCode)(CodeFn);
    void(TM_CDECL* setDoButton)(DoButtonFn);
    void(TM_CDECL* setGetMenuRange)(GetMenuRangeFn);
  };

  // Becomes the one active fake host and hands its callbacks over through `setters`.
  explicit FakeHost(const Setters& setters);
  // Through the exports linked into this program (fake_host_linked.cpp: the program links
  // plugin/).
  FakeHost();
  // Only becomes the active fake host, handing nothing to the plug-in: for code that
  // takes its host access as an argument (counterAccess).
  struct NotInstalled {};
  explicit FakeHost(NotInstalled);
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  double dro(short n) const;
  void setDro(short n, double value) { dros[n] = value; }
  void setLed(short n, bool on) { leds[n] = on; }
  // The callbacks the counter rule uses.
  tallymark::counter::HostAccess counterAccess() const { return {&getDro, &setDroCb, &getLed}; }
  // Forgets the calls logged so far.
  void clearLog() { log.clear(); }

  std::map<short, double> dros;
  std::map<short, bool> leds;
  std::vector<std::string> log;  // "GetDRO 1500", "SetDRO 1500 3", "GetLED 804", ...
  int menuRangeNext = 4242;

 private:
  static FakeHost* active_;
  static double TM_CDECL getDro(short n);
  static void TM_CDECL setDroCb(short n, double v);
  static bool TM_CDECL getLed(short n);
  static void TM_CDECL setLedCb(short n, bool on);
  static void TM_CDECL code(const char* text);
  static void TM_CDECL doButton(short n);
  static int TM_CDECL getMenuRange(short count);
};

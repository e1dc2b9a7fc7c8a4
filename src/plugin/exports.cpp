// The export layer: store what the host hands over, forward to the pi... bodies, and
// keep every exception on this side of the boundary.
#include "plugin/exports.h"

#include <cstring>

#include "platform/module.h"
#include "plugin/host.h"
#include "plugin/plugin.h"

namespace {

// Replaces ProfileName with a private copy of `name`. The older copy is freed: nothing
// keeps a pointer to it beyond one export call, and a host that renames its profile
// repeatedly would otherwise leak each name.
void storeProfileName(const char* name) {
  if (name == nullptr) name = "";
  size_t size = std::strlen(name) + 1;
  char* copy = new char[size];
  std::memcpy(copy, name, size);
  delete[] ProfileName;
  ProfileName = copy;
}

}  // namespace

// The exports that start threads or make windows pin the module first (see
// platform/module.h): what they leave behind outlives StopPlug and FreeLibrary.
extern "C" {

const char* TM_CDECL SetProName(const char* name) {
  tallymark::platform::pinModule();
  try {
    storeProfileName(name);
    return piSetProName(name);
  } catch (...) {
    return tallymark::plugin::kPluginName;
  }
}

bool TM_CDECL InitControl(TrajBuffer* oEngine, setup_struct* oSetup, _TrajectoryControl* oPlanner,
                          _CMach4View* oView) {
  Engine = oEngine;
  _setup = oSetup;
  MainPlanner = oPlanner;
  MachView = oView;
  tallymark::platform::pinModule();
  try {
    return piInitControl();
  } catch (...) {
    return true;
  }
}

void TM_CDECL PostInitControl() {
  tallymark::platform::pinModule();
  try {
    piPostInitControl();
  } catch (...) {
  }
}

void TM_CDECL Config() {
  try {
    piConfig();
  } catch (...) {
  }
}

void TM_CDECL StopPlug() {
  try {
    piStopPlug();
  } catch (...) {
  }
}

void TM_CDECL Update() {
  try {
    piUpdate();
  } catch (...) {
  }
}

void TM_CDECL Notify(int id) {
  try {
    piNotify(id);
  } catch (...) {
  }
}

// Machine motion belongs to the host; the plug-in takes no part in it.
void TM_CDECL DoDwell(double) {}
void TM_CDECL Reset() {}
void TM_CDECL JogOn(short, short, double) {}
void TM_CDECL JogOff(short) {}
void TM_CDECL Purge(short) {}
void TM_CDECL Probe() {}
void TM_CDECL Home(short) {}

void TM_CDECL SetGetDRO(GetDROFn pFunc) {
  GetDRO = pFunc;
}
void TM_CDECL SetSetDRO(SetDROFn pFunc) {
  SetDRO = pFunc;
}
void TM_CDECL SetGetLED(GetLEDFn pFunc) {
  GetLED = pFunc;
}
void TM_CDECL SetSetLED(SetLEDFn pFunc) {
  SetLED = pFunc;
}
void TM_CDECL SetCode(CodeFn pFunc) {
  Code = pFunc;
}
void TM_CDECL SetDoButton(DoButtonFn pFunc) {
  DoButton = pFunc;
}
void TM_CDECL SetGetMenuRange(GetMenuRangeFn pFunc) {
  GetMenuRange = pFunc;
}

}  // extern "C"

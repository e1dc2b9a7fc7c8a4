// The host's side of the plug-in boundary: the callbacks it hands over, the objects it
// passes to InitControl, and the module-level variables that hold them.
//
// The host's object layouts are unknown. These are the plug-in's own declarations,
// holding only what the diagnostic dump reads; a substitute host fills them, the real
// host's objects are only ever read through these fields by the (switched off) console.
#pragma once

#include "platform/calling_convention.h"

constexpr int kHostAxes = 6;  // X, Y, Z, A, B, C

struct EngineAxis {
  unsigned char Dir;
  unsigned char Slave;
  int SlaveA;
  int SlimHi;
  int SlimLo;
};

struct TrajBuffer {
  EngineAxis Axis[kHostAxes];
};

struct PlannerAxis {
  double Vel;
  double Acc;
  double Steps;
  double Epr;
};

struct _TrajectoryControl {
  PlannerAxis Axis[kHostAxes];
  unsigned char DigifileOpen;
  unsigned char loaded;
};

// Nothing of the setup record is read.
struct setup_struct;

// Never dereferenced: the host's main frame is found through the window system (see
// the menu code), not through the view object.
struct _CMach4View;

// Host callbacks, C calling convention.
typedef double(TM_CDECL* GetDROFn)(short dro);
typedef void(TM_CDECL* SetDROFn)(short dro, double value);
typedef bool(TM_CDECL* GetLEDFn)(short led);
typedef void(TM_CDECL* SetLEDFn)(short led, bool on);
typedef void(TM_CDECL* CodeFn)(const char* text);
typedef void(TM_CDECL* DoButtonFn)(short button);
typedef int(TM_CDECL* GetMenuRangeFn)(short count);

// Set by the Set... exports; null until the host hands them over.
extern GetDROFn GetDRO;
extern SetDROFn SetDRO;
extern GetLEDFn GetLED;
extern SetLEDFn SetLED;
extern CodeFn Code;
extern DoButtonFn DoButton;
extern GetMenuRangeFn GetMenuRange;

// Set by InitControl, in its argument order.
extern TrajBuffer* Engine;
extern setup_struct* _setup;
extern _TrajectoryControl* MainPlanner;
extern _CMach4View* MachView;

// The plug-in's own copy of the profile file name from SetProName, or null. Only the
// host's thread reads or replaces it.
extern char* ProfileName;

// The host's side of the plug-in boundary as types: the callbacks it hands over and the
// objects it passes to InitControl. What a host (or a stand-in for one) needs to load the
// plug-in; the variables that hold them are in plugin/host.h.
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

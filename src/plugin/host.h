// The module-level variables that hold what the host hands over: its callbacks (set by
// the Set... exports), its objects (set by InitControl) and the profile name. Only plugin/
// writes them; code below plugin/ is given what it needs as arguments.
#pragma once

#include "plugin/host_types.h"

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

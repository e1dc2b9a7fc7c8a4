#include "plugin/host.h"

GetDROFn GetDRO = nullptr;
SetDROFn SetDRO = nullptr;
GetLEDFn GetLED = nullptr;
SetLEDFn SetLED = nullptr;
CodeFn Code = nullptr;
DoButtonFn DoButton = nullptr;
GetMenuRangeFn GetMenuRange = nullptr;

TrajBuffer* Engine = nullptr;
setup_struct* _setup = nullptr;
_TrajectoryControl* MainPlanner = nullptr;
_CMach4View* MachView = nullptr;

char* ProfileName = nullptr;

// The plug-in's exports as the host calls them: plain names, C calling convention
// (TALLY_MARK.def lists them). Tests and the substitute host use these declarations.
#pragma once

#include "plugin/host_types.h"

extern "C" {
TM_EXPORT const char* TM_CDECL SetProName(const char* name);
TM_EXPORT bool TM_CDECL InitControl(TrajBuffer* oEngine, setup_struct* oSetup,
                                    _TrajectoryControl* oPlanner, _CMach4View* oView);
TM_EXPORT void TM_CDECL PostInitControl();
TM_EXPORT void TM_CDECL Config();
TM_EXPORT void TM_CDECL StopPlug();
TM_EXPORT void TM_CDECL Update();
TM_EXPORT void TM_CDECL Notify(int id);
TM_EXPORT void TM_CDECL DoDwell(double time);
TM_EXPORT void TM_CDECL Reset();
TM_EXPORT void TM_CDECL JogOn(short axis, short dir, double speed);
TM_EXPORT void TM_CDECL JogOff(short axis);
TM_EXPORT void TM_CDECL Purge(short flags);
TM_EXPORT void TM_CDECL Probe();
TM_EXPORT void TM_CDECL Home(short axis);

TM_EXPORT void TM_CDECL SetGetDRO(GetDROFn pFunc);
TM_EXPORT void TM_CDECL SetSetDRO(SetDROFn pFunc);
TM_EXPORT void TM_CDECL SetGetLED(GetLEDFn pFunc);
TM_EXPORT void TM_CDECL SetSetLED(SetLEDFn pFunc);
TM_EXPORT void TM_CDECL SetCode(CodeFn pFunc);
TM_EXPORT void TM_CDECL SetDoButton(DoButtonFn pFunc);
TM_EXPORT void TM_CDECL SetGetMenuRange(GetMenuRangeFn pFunc);
}

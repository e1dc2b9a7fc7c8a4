// Calling conventions of the host boundary. The host calls the plug-in exports and the
// plug-in calls the host's callbacks with the C convention; the controller calls use the
// standard-call convention. Outside 32-bit Windows both words mean nothing.
#pragma once

#ifdef _WIN32
#define TM_CDECL __cdecl
#define TM_STDCALL __stdcall
// TALLY_MARK.def alone names the exports: a dllexport here would add a second,
// differently decorated name for every standard-call function.
#define TM_EXPORT
#else
#define TM_CDECL
#define TM_STDCALL
#define TM_EXPORT __attribute__((visibility("default")))
#endif

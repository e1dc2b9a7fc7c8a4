// The controller calls as an outside program reaches them: linked into the test program
// (controller_api_linked.cpp), or from a loaded TALLY_MARK.dll by their decorated
// export names (controller_api_dll.cpp). One test source runs against either.
#pragma once

#include <cstdint>

#include "platform/calling_convention.h"

struct timer_resp_t;

struct ControllerApi {
  int32_t(TM_STDCALL* initController)();
  int32_t(TM_STDCALL* enable)(const char* host);
  int32_t(TM_STDCALL* disable)();
  int32_t(TM_STDCALL* statusGet)(timer_resp_t* out);
  void(TM_STDCALL* sendOut)();

  // Stops the server the init call started; reachable only when the calls are linked
  // in (null through the DLL, whose server ends with the process).
  void (*stopServer)();
};

// The calls under test; a call the DLL does not export is null.
const ControllerApi& controllerApi();

#include <windows.h>

#include "controller_api.h"

namespace {

template <typename F>
F exported(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

ControllerApi load() {
  // Never freed: the server and the link live until the process ends.
  HMODULE module = LoadLibraryW(L"TALLY_MARK.dll");
  ControllerApi api{};
  if (module == nullptr) return api;
  api.initController = exported<decltype(api.initController)>(module, "_Cnc_Init_Controller@0");
  api.enable = exported<decltype(api.enable)>(module, "_Cnc_Communication_Enable@4");
  api.disable = exported<decltype(api.disable)>(module, "_Cnc_Communication_Disable@0");
  api.statusGet = exported<decltype(api.statusGet)>(module, "_Cnc_Status_Get@4");
  api.sendOut = exported<decltype(api.sendOut)>(module, "_my_SendOut@0");
  return api;
}

}  // namespace

const ControllerApi& controllerApi() {
  static const ControllerApi api = load();
  return api;
}

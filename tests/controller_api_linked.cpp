#include "controller_api.h"
#include "plugin/controller_exports.h"
#include "plugin/state.h"

const ControllerApi& controllerApi() {
  static const ControllerApi api{Cnc_Init_Controller,
                                 Cnc_Communication_Enable,
                                 Cnc_Communication_Disable,
                                 Cnc_Status_Get,
                                 my_SendOut,
                                 [] { tallymark::plugin::state().commandServer.stop(); }};
  return api;
}

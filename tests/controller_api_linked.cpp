#include "controller_api.h"
#include "link/controller_exports.h"
#include "server/controller_exports.h"

const ControllerApi& controllerApi() {
  static const ControllerApi api{Cnc_Init_Controller,
                                 Cnc_Communication_Enable,
                                 Cnc_Communication_Disable,
                                 Cnc_Status_Get,
                                 my_SendOut,
                                 tallymark::server::detail::stopControllerServer};
  return api;
}

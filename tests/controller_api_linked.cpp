#include "controller_api.h"
#include "server/controller_exports.h"

const ControllerApi& controllerApi() {
  static const ControllerApi api = [] {
    ControllerApi linked{};
    linked.initController = Cnc_Init_Controller;
    linked.stopServer = server::detail::stopControllerServer;
    return linked;
  }();
  return api;
}

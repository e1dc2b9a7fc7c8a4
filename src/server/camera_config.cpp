#include "server/camera_config.h"

#include "plugin/settings_globals.h"

namespace server {

int32_t cameraType() {
  return CamType.load();
}
std::string cameraPath() {
  return IPCamPath.get();
}

}  // namespace server

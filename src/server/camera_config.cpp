#include "server/camera_config.h"

#include "settings/settings_globals.h"

namespace server {

int32_t cameraType() {
  return CamType.load();
}
std::string cameraPath() {
  return ipCamPath();
}

}  // namespace server

#include "server/camera_config.h"

#include "settings/settings.h"

namespace tallymark::server {

int32_t cameraType() {
  return CamType.load();
}
std::string cameraPath() {
  return IPCamPath.get();
}

}  // namespace tallymark::server

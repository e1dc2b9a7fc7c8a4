#include "settings/settings_globals.h"

#include <mutex>
#include <utility>

namespace {
std::mutex& ipCamPathLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

std::atomic<int32_t> CamType{0};
std::string IPCamPath;

std::string ipCamPath() {
  std::lock_guard<std::mutex> guard(ipCamPathLock());
  return IPCamPath;
}

void setIPCamPath(std::string path) {
  std::lock_guard<std::mutex> guard(ipCamPathLock());
  IPCamPath = std::move(path);
}

// The camera settings read by the command server's connection threads while the host's
// thread may write them at start-up.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Configured camera type: 0 USB camera, 1 IP camera, 2 Dahua camera.
extern std::atomic<int32_t> CamType;

// Configured camera path of the IP camera (8-bit text). Guarded by a lock: read and write
// it only through ipCamPath() and setIPCamPath().
extern std::string IPCamPath;
std::string ipCamPath();
void setIPCamPath(std::string path);

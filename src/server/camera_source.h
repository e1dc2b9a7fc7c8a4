// Where the command server gets the camera settings its greeting is chosen by. The
// server asks for them afresh at each new connection, so that settings changed while it
// runs reach the next client.
#pragma once

#include <cstdint>
#include <string>

namespace tallymark::server {

struct CameraSettings {
  int32_t type = 0;  // 0 USB, 1 IP camera at `path`, 2 Dahua (see greeting())
  std::string path;
};

// Called on the connection threads, several at once: it must be safe to call from any
// thread at any time. An exception from it ends that one connection before its greeting.
// Null stands for the settings' defaults: a USB camera and no path.
using CameraSource = CameraSettings (*)();

}  // namespace tallymark::server

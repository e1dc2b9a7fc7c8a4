// The camera settings the greeting is chosen by, as the settings module holds them.
#pragma once

#include <cstdint>
#include <string>

namespace tallymark::server {

int32_t cameraType();
std::string cameraPath();

}  // namespace tallymark::server

// UTF-8 <-> UTF-16 for the Win32 files: the portable code keeps text in UTF-8, and the
// plug-in uses the wide (W) functions for every text it shows.
#pragma once

#include <string>
#include <string_view>

namespace tallymark::platform {
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
}  // namespace tallymark::platform

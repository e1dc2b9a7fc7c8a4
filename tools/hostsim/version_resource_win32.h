// The version resource of a program or DLL file, as Explorer's Details page shows it.
#pragma once

#include <map>
#include <string>

namespace tallymark::hostsim {

struct VersionResource {
  unsigned fileVersion[4] = {};     // FILEVERSION, most significant part first
  unsigned productVersion[4] = {};  // PRODUCTVERSION
  unsigned long fileType = 0;       // VFT_DLL, VFT_APP, ...
  // The string table of the first translation listed: "FileVersion" -> "1.1.0", ...
  std::map<std::string, std::string> strings;
};

// False when the file cannot be read or has no version resource.
bool readVersionResource(const std::string& path, VersionResource& out);

}  // namespace tallymark::hostsim

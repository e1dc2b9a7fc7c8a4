// The plug-in's run log as the substitute host shows it: the last lines of the file the
// plug-in keeps beside the profile.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tallymark::hostsim {

// The run log of the profile at `profilePath`, where the plug-in puts it by default.
std::string runLogFile(const std::string& profilePath);

// The last `count` complete lines of `tail`, the end of the file. When `tail` does not
// begin at the file's start its first line may be a part and is skipped; a last line
// without its line end is still being written and is skipped too. No byte order mark.
std::vector<std::string> lastLogLines(std::string_view tail, bool fromStart, size_t count);

}  // namespace tallymark::hostsim

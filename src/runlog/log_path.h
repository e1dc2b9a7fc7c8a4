// Where the run log lives.
#pragma once

#include <string>

namespace tallymark::runlog {

// The log of the profile at `profilePath`: `setting` when it is not empty (a relative
// setting is taken from the profile's folder, not from the process's working folder,
// which belongs to the host), else the profile's name without its extension plus
// ".runs.csv", in the profile's folder. Both separators, "\" and "/", are understood;
// the paths are bytes in whatever encoding the caller uses for file names.
std::string runLogPath(const std::string& profilePath, const std::string& setting);

// The side file where rows wait while the log cannot be written: beside the log, its
// name with ".waiting" before a ".csv" extension ("Mill.runs.waiting.csv"), or
// ".waiting.csv" added to any other name.
std::string waitingFilePath(const std::string& logPath);

// The last part of `path`, after its last "\" or "/".
std::string fileNameOf(const std::string& path);

}  // namespace tallymark::runlog

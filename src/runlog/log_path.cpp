#include "runlog/log_path.h"

namespace tallymark::runlog {
namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// "C:\x", "\\server\x", "\x" and "/x" do not depend on the working folder. ("C:x" does,
// on the drive's own working folder; it is taken as it stands all the same.)
bool isRooted(const std::string& path) {
  if (!path.empty() && isSeparator(path[0])) return true;
  return path.size() >= 2 && path[1] == ':';
}

}  // namespace

std::string runLogPath(const std::string& profilePath, const std::string& setting) {
  const size_t slash = profilePath.find_last_of("\\/");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string folder = profilePath.substr(0, nameStart);
  if (!setting.empty()) return isRooted(setting) ? setting : folder + setting;

  const size_t dot = profilePath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && dot > nameStart;
  return profilePath.substr(0, hasExtension ? dot : profilePath.size()) + ".runs.csv";
}

std::string waitingFilePath(const std::string& logPath) {
  const size_t nameStart = logPath.size() - fileNameOf(logPath).size();
  if (logPath.size() - nameStart > 4) {
    std::string extension = logPath.substr(logPath.size() - 4);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension == ".csv") return logPath.substr(0, logPath.size() - 4) + ".waiting.csv";
  }
  return logPath + ".waiting.csv";
}

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tallymark::runlog

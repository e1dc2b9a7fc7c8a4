#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "process_stats.h"

namespace process_stats {

namespace {

// Entries of a /proc folder whose link target starts with `kind` (any when empty).
size_t entries(const std::string& folder, const std::string& kind) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return 0;
  size_t count = 0;
  while (dirent* entry = readdir(listing)) {
    if (entry->d_name[0] == '.') continue;
    char target[256];
    ssize_t size =
        kind.empty() ? 0 : readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target);
    if (size >= 0 && std::string(target, static_cast<size_t>(size)).rfind(kind, 0) == 0) ++count;
  }
  closedir(listing);
  return count;
}

}  // namespace

size_t threadCount() {
  return entries("/proc/self/task", "");
}

size_t openSockets() {
  return entries("/proc/self/fd", "socket:");
}

size_t residentBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      size_t kilobytes = 0;
      status >> kilobytes;
      return kilobytes * 1024;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

}  // namespace process_stats

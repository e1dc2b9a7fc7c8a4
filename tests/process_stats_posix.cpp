#include "process_stats.h"

#include <dirent.h>

#include <fstream>
#include <string>

namespace process_stats {

namespace {

// Entries of a /proc folder (for fd/, the listing's own descriptor among them).
size_t entries(const char* folder) {
  DIR* listing = opendir(folder);
  if (listing == nullptr) return 0;
  size_t count = 0;
  while (dirent* entry = readdir(listing)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(listing);
  return count;
}

}  // namespace

size_t threadCount() {
  return entries("/proc/self/task");
}

size_t openHandles() {
  return entries("/proc/self/fd");
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

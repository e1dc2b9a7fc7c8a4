#include "process_stats.h"

#include <dirent.h>

#include <fstream>
#include <string>

namespace process_stats {

size_t threadCount() {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  size_t count = 0;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(tasks);
  return count;
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

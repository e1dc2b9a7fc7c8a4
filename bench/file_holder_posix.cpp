#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_holder.h"

namespace bench {
namespace {

// Swaps two names in one step, so that the log's name never names nothing (the writer
// would make a new, empty log there meanwhile).
bool exchange(const std::string& a, const std::string& b) {
  return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace

FileHolder::FileHolder(std::string path) : path_(std::move(path)) {
  const std::string aside = path_ + ".aside";
  held_ = ::mkdir(aside.c_str(), 0755) == 0 && exchange(aside, path_);
  if (!held_) ::rmdir(aside.c_str());
}

FileHolder::~FileHolder() {
  if (!held_) return;
  const std::string aside = path_ + ".aside";
  if (exchange(aside, path_)) ::rmdir(aside.c_str());
}

}  // namespace bench

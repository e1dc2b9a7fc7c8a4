// Holds a file the way a spreadsheet holds an open CSV: others may read it, nobody may
// write it. Windows: a handle that shares reading only. Linux has no share modes (and
// root writes through any permission), so the file is moved aside and an empty folder
// takes its name, which nobody can open for writing; release() puts the file back.
#pragma once

#include <string>

namespace bench {

class FileHolder {
 public:
  explicit FileHolder(std::string path);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  bool held() const { return held_; }

 private:
  std::string path_;
  long long handle_ = -1;
  bool held_ = false;
};

}  // namespace bench

// Switches the plug-in's run log on for a benchmark: a profile in the temporary folder,
// named through SetProName, and a disk that takes every line and keeps none, so that the
// figures are the tick's own and not the disk's.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/file_io.h"
#include "plugin/exports.h"
#include "plugin/run_record.h"
#include "plugin/state.h"

namespace bench {

class DiscardingFile final : public tallymark::platform::AppendFile {
 public:
  bool open(const std::string&, std::string&) override { return true; }
  bool tail(size_t, unsigned long long& size, std::string& last, std::string&) override {
    size = 0;
    last.clear();
    return true;
  }
  bool append(const char*, size_t, std::string&) override { return true; }
  bool flush(std::string&) override { return true; }
  void close() override {}
  bool read(const std::string&, std::string& contents, std::string&) override {
    contents.clear();
    return true;
  }
  bool replace(const std::string&, const std::string&, std::string&) override { return true; }
  bool remove(const std::string&, std::string&) override { return true; }
};

// Once per program; the log stays on from then on.
inline void startRunLog() {
  static bool started = false;
  if (started) return;
  started = true;
  tallymark::plugin::state().environment.appendFiles = [] {
    return std::make_unique<DiscardingFile>();
  };
  const std::string profile =
      (std::filesystem::temp_directory_path() / "tallymark_bench_profile.xml").string();
  std::ofstream(profile)
      << "<profile><Dazada_Ruvazidu><RunLog>1</RunLog></Dazada_Ruvazidu></profile>";
  SetProName(profile.c_str());
}

}  // namespace bench

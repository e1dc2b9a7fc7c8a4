// Helpers for tests on real files: a private folder removed afterwards, whole-file
// reads and writes, and a message-box catcher.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/environment.h"

class TempFolder {
 public:
  TempFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tallymark_") + (info ? info->name() : "test");
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  // A path inside the folder, as the plug-in's narrow file name. The name is joined as
  // bytes: std::filesystem would convert it through the process's code page, which
  // garbles UTF-8 names where that code page is double-byte (932).
  std::string file(const std::string& name) const {
    return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator) + name;
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The system's environment, except that every message box is answered Ok and recorded
// here. Hand `environment` to what the test makes; it must not outlive the catcher.
class MessageCatcher {
 public:
  MessageCatcher() {
    environment.messages = [this](const tallymark::platform::MessageRequest& r) {
      shown.push_back(r);
      return tallymark::platform::MessageAnswer::Ok;
    };
  }
  MessageCatcher(const MessageCatcher&) = delete;
  MessageCatcher& operator=(const MessageCatcher&) = delete;

  tallymark::platform::Environment environment;
  std::vector<tallymark::platform::MessageRequest> shown;
};

// A text that one thread replaces while others read it.
#pragma once

#include <mutex>
#include <string>

namespace tallymark::platform {

// get() returns a copy, so a reader never sees a text half-replaced or freed under it.
// Safe to use from any thread.
class SharedText {
 public:
  std::string get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  void set(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.swap(text);
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace tallymark::platform

// A disk for the run log's writer: files as strings, every append recorded, and
// switches that make it fail, come back or hang. The test and the writer's thread share
// it (through the AppendFile that open() makes), so each holds it by shared_ptr.
// Waits have no time limit: a fault shows as a hung test, which ctest ends.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_io.h"

class FakeDisk : public std::enable_shared_from_this<FakeDisk> {
 public:
  std::string file(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_[path];
  }
  void setFile(const std::string& path, const std::string& contents) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[path] = contents;
  }
  // Every append made to `path`, one string per call.
  std::vector<std::string> appends(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return appends_[path];
  }
  // While failing, opening any file fails.
  void setFailing(bool failing) {
    std::lock_guard<std::mutex> lock(mutex_);
    failing_ = failing;
  }
  // While held, an append waits inside the disk.
  void hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  void waitUntilSomeoneWaits() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_ > 0; });
  }
  // Until `n` appends in all have been made.
  void waitForAppends(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return appendCount_ >= n; });
  }
  // Until `n` opens in all have failed.
  void waitForFailures(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failedOpens_ >= n; });
  }

  std::unique_ptr<tallymark::platform::AppendFile> open() {
    return std::make_unique<File>(shared_from_this());
  }

 private:
  class File : public tallymark::platform::AppendFile {
   public:
    explicit File(std::shared_ptr<FakeDisk> disk) : disk_(std::move(disk)) {}
    ~File() override = default;
    bool open(const std::string& path, std::string& error) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      if (disk_->failing_) {
        ++disk_->failedOpens_;
        disk_->changed_.notify_all();
        error = "Cannot open '" + path + "': the disk is gone";
        return false;
      }
      path_ = path;
      disk_->files_[path];  // made when missing
      return true;
    }
    bool tail(unsigned long long& size, char& last, std::string&) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      const std::string& contents = disk_->files_[path_];
      size = contents.size();
      if (!contents.empty()) last = contents.back();
      return true;
    }
    bool append(const char* data, size_t size, std::string&) override {
      std::unique_lock<std::mutex> lock(disk_->mutex_);
      ++disk_->waiting_;
      disk_->changed_.notify_all();
      disk_->changed_.wait(lock, [this] { return !disk_->held_; });
      --disk_->waiting_;
      disk_->files_[path_].append(data, size);
      disk_->appends_[path_].emplace_back(data, size);
      ++disk_->appendCount_;
      disk_->changed_.notify_all();
      return true;
    }
    bool flush(std::string&) override { return true; }
    void close() override {}

   private:
    std::shared_ptr<FakeDisk> disk_;
    std::string path_;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::string> files_;
  std::map<std::string, std::vector<std::string>> appends_;
  bool failing_ = false;
  bool held_ = false;
  int waiting_ = 0;
  size_t appendCount_ = 0;
  size_t failedOpens_ = 0;
};

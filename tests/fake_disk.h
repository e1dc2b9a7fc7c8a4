// A disk for the run log's writer: files as strings, every append recorded, and
// switches that make it fail, come back, hang, or stop dead in the middle of a write as
// a power cut would. The test and the writer's thread share it (through the AppendFile
// that open() makes), so each holds it by shared_ptr.
// Waits have no time limit: a fault shows as a hung test, which ctest ends.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_io.h"

class FakeDisk : public std::enable_shared_from_this<FakeDisk> {
 public:
  using Fault = tallymark::platform::FileFault;

  // How much of the write the crash lets through: none, about half, all but its last
  // byte, or all of it (the crash comes just after).
  enum class Cut { Nothing, Half, AllButOne, All };

  std::string file(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : it->second;
  }
  bool exists(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.count(path) > 0;
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
  // While `path` is in use, opening it fails as when another program holds it.
  void setInUse(const std::string& path, bool inUse) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (inUse) {
      inUse_[path] = true;
    } else {
      inUse_.erase(path);
    }
    changed_.notify_all();
  }
  // The `n`th change from now (appends, replaces, removes; 0 is the next) is cut as
  // `cut` says, and from then on every call fails: the writer is as good as dead.
  void crashAt(size_t n, Cut cut) {
    std::lock_guard<std::mutex> lock(mutex_);
    crashAt_ = changes_ + n;
    cut_ = cut;
  }
  bool crashed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return crashed_;
  }
  // A new start after the crash: the files as the crash left them.
  void restart() {
    std::lock_guard<std::mutex> lock(mutex_);
    crashed_ = false;
    crashAt_ = static_cast<size_t>(-1);
  }
  size_t changes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
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
  // Until `done` holds of the files, or the disk has crashed.
  void waitFor(const std::function<bool(const std::map<std::string, std::string>&)>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return crashed_ || done(files_); });
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
      if (disk_->failing_ || disk_->crashed_ || disk_->inUse_.count(path) > 0) {
        ++disk_->failedOpens_;
        disk_->changed_.notify_all();
        fault_ = disk_->inUse_.count(path) > 0 ? Fault::InUse : Fault::Other;
        error = "Cannot open '" + path +
                "': " + (fault_ == Fault::InUse ? "it is in use" : "the disk is gone");
        return false;
      }
      path_ = path;
      disk_->files_[path];  // made when missing
      return true;
    }
    bool tail(size_t want, unsigned long long& size, std::string& last,
              std::string& error) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      if (dead(error)) return false;
      const std::string& contents = disk_->files_[path_];
      size = contents.size();
      last = contents.substr(contents.size() - std::min(want, contents.size()));
      return true;
    }
    bool append(const char* data, size_t size, std::string& error) override {
      std::unique_lock<std::mutex> lock(disk_->mutex_);
      ++disk_->waiting_;
      disk_->changed_.notify_all();
      disk_->changed_.wait(lock, [this] { return !disk_->held_; });
      --disk_->waiting_;
      if (dead(error)) return false;
      size_t n = size;
      if (disk_->crashesNow()) n = disk_->cutSize(size);
      disk_->files_[path_].append(data, n);
      disk_->appends_[path_].emplace_back(data, n);
      ++disk_->appendCount_;
      disk_->changed_.notify_all();
      return !dead(error);
    }
    bool flush(std::string& error) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      return !dead(error);
    }
    void close() override {}
    bool read(const std::string& path, std::string& contents, std::string& error) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      if (dead(error)) return false;
      auto it = disk_->files_.find(path);
      contents = it == disk_->files_.end() ? std::string() : it->second;
      return true;
    }
    bool replace(const std::string& path, const std::string& contents,
                 std::string& error) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      if (dead(error)) return false;
      // All or nothing, as the real one: a cut that lets anything through lets it all.
      if (!disk_->crashesNow() || disk_->cut_ != Cut::Nothing) disk_->files_[path] = contents;
      disk_->changed_.notify_all();
      return !dead(error);
    }
    bool remove(const std::string& path, std::string& error) override {
      std::lock_guard<std::mutex> lock(disk_->mutex_);
      if (dead(error)) return false;
      if (!disk_->crashesNow() || disk_->cut_ != Cut::Nothing) disk_->files_.erase(path);
      disk_->changed_.notify_all();
      return !dead(error);
    }

   private:
    bool dead(std::string& error) {
      if (!disk_->crashed_) return false;
      fault_ = Fault::Other;
      error = "the power is off";
      return true;
    }

    std::shared_ptr<FakeDisk> disk_;
    std::string path_;
  };

  // Counts one change; true when it is the one to crash in. Under the lock.
  bool crashesNow() {
    if (changes_++ != crashAt_) return false;
    crashed_ = true;
    changed_.notify_all();
    return true;
  }
  size_t cutSize(size_t size) const {
    switch (cut_) {
      case Cut::Nothing:
        return 0;
      case Cut::Half:
        return size / 2;
      case Cut::AllButOne:
        return size - 1;
      case Cut::All:
        return size;
    }
    return size;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::string> files_;
  std::map<std::string, std::vector<std::string>> appends_;
  std::map<std::string, bool> inUse_;
  bool failing_ = false;
  bool held_ = false;
  bool crashed_ = false;
  size_t crashAt_ = static_cast<size_t>(-1);
  Cut cut_ = Cut::Nothing;
  size_t changes_ = 0;
  int waiting_ = 0;
  size_t appendCount_ = 0;
  size_t failedOpens_ = 0;
};

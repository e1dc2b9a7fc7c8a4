// The run log's writer: a thread of its own that appends the records the update tick
// hands over, so that the tick never waits for the disk.
//
// The file is opened for each batch of records and closed again, so that a spreadsheet
// may open it meanwhile and other host processes may append to it too: each line goes
// out in one write to a file opened for appending. Into an empty file the byte order
// mark and the header line go first; a last line that was cut (by a crash during an
// append) is ended before the next line, in the same write, so that every complete line
// stays readable. Nothing is made before the first record.
//
// When the disk fails the records wait, and the writer tries again after a pause; up to
// the queue's capacity are kept, past that the oldest are dropped and the next written
// line says how many. A failure is reported once (takeProblem) until a write succeeds
// again, which is reported too, with an empty text.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/file_io.h"
#include "platform/wake_event.h"
#include "runlog/record.h"
#include "runlog/record_queue.h"

namespace tallymark::runlog {

struct WriterOptions {
  size_t capacity = 4096;                      // records waiting for the disk, at most
  std::chrono::milliseconds retryAfter{1000};  // pause after a failed write
};

// The part the thread shares with its owner; it outlives the owner when stop() gives
// up on a thread stuck in the disk.
struct WriterState {
  WriterState(std::unique_ptr<platform::AppendFile> file, std::string logPath,
              const WriterOptions& options);

  std::mutex mutex;
  // The thread waits here, without the lock, for records, a new path or stop: the host's
  // thread signals it without waiting (a condition variable's notify may wait).
  platform::WakeEvent wake;
  std::condition_variable ended;  // stop() waits here for the thread
  RecordQueue queue;
  std::string path;
  bool pathChanged = true;
  bool stopping = false;
  bool finished = false;
  std::string problem;
  std::atomic<bool> problemPending{false};
  const std::unique_ptr<platform::AppendFile> disk;  // the thread's alone
  const WriterOptions options;
};

class Writer {
 public:
  // Starts the thread. May throw when no thread can be started.
  Writer(std::string path, std::unique_ptr<platform::AppendFile> disk, WriterOptions options = {});
  // Stops as stop() does, waiting at most a second.
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Hands one record over. Never allocates and never waits: when the thread holds the
  // queue's lock (to copy records out, never across a disk call) the record waits here,
  // up to kHandOverSize of them (past that the oldest are dropped and counted), until
  // handOver() or the next push finds the lock free. Host thread only, as are the
  // members below up to stop().
  void push(const Record& record);
  // Moves the records waiting here into the queue if its lock is free at once.
  void handOver();
  // True while records wait here for handOver().
  bool holdsRecords() const { return handOverCount_ > 0; }
  // Later records go to `path`.
  void setPath(std::string path);
  // Writes what is waiting (one try, no pause on a failure) and ends the thread. The
  // records still held here are handed over first, waiting for the lock if need be.
  // Waits at most `limit`; returns false when the thread had not ended by then (a disk
  // that hangs) and is left to finish on its own.
  bool stop(std::chrono::milliseconds limit);

  // True while a change of the log's state waits to be taken; cheap enough for every tick.
  bool problemPending() const { return state_->problemPending.load(std::memory_order_relaxed); }
  // The problem's text as it stands, once per change: empty when the problem is gone.
  // False when nothing changed, and also while the thread holds the lock (ask again).
  bool takeProblem(std::string& text);

 private:
  static constexpr size_t kHandOverSize = 64;
  bool moveHandOver(std::unique_lock<std::mutex>& lock);

  std::shared_ptr<WriterState> state_;
  std::thread thread_;
  Record handOver_[kHandOverSize];
  size_t handOverCount_ = 0;
  uint32_t handOverDropped_ = 0;
};

namespace detail {
// Test seam: called by the writer's thread while it holds the queue's lock, once per
// look at its work. A hook may block to hold the thread there. Null (the default):
// nothing is called. Not part of the plug-in's interface.
using LockedHook = void (*)();
void setLockedHook(LockedHook hook);
}  // namespace detail

}  // namespace tallymark::runlog

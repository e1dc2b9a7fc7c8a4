// The run log's writer: a thread of its own that appends the records the update tick
// hands over, so that the tick never waits for the disk.
//
// The log is opened for each batch of records and closed again, so that a spreadsheet
// may open it meanwhile and other host processes may append to it too: each write holds
// whole lines and goes to a file opened for appending. Into an empty file the byte order
// mark and the header line go first. Nothing is made before the first record.
//
// No record is lost or written twice once it is on the disk, whatever holds the log and
// wherever a crash or a power cut falls:
// - Each batch goes first to the side file beside the log (waitingFilePath()), written
//   through to the disk, and is then moved into the log: appended, flushed, and the side
//   file removed. While the log cannot be opened (a spreadsheet holds it) the rows gather
//   in the side file and move, in order, once it can; a writer started later (the next
//   start of the host) moves what an earlier one left there.
// - A move or an append that may have stopped part-way (a crash, a failed write) is
//   finished from where the file ends: the rows due are held against the file's last
//   bytes, and only the bytes the file lacks are appended (a line cut between CR and LF
//   gets its LF, nothing more). The side file, which is the writer's own, loses a cut
//   last line it cannot finish so: that row never reached the disk whole, and its
//   record was still in memory.
// - A cut last line of the log that is none of the rows due (another program's, or an
//   older version's) is ended, so that the next row starts on a line of its own.
// - When neither file can be written the records wait in memory, up to the queue's
//   capacity; past that the oldest are dropped and the next written line says how many.
//
// Records are rare (one per program run), so the extra writes cost nothing that matters.
// The status (takeProblem) says, in a short line for the operator, what keeps rows
// from the log and how many wait, and is empty again once they are in.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
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
  size_t capacity = 4096;                      // records waiting in memory, at most
  std::chrono::milliseconds retryAfter{1000};  // pause after a failed write
  char separator = ',';                        // between fields: ',' or ';'
  // Called by the thread each time it looks at its work, holding the queue's lock; it
  // may block to hold the thread there. Empty: nothing is called.
  std::function<void()> whileLocked;
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
  std::string status;  // for the operator; empty while all is well
  std::string detail;  // the system's words for the last failure
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
  char separator() const { return state_->options.separator; }
  // Writes what is waiting (one try, no pause on a failure) and ends the thread. The
  // records still held here are handed over first, waiting for the lock if need be.
  // Waits at most `limit`; returns false when the thread had not ended by then (a disk
  // that hangs) and is left to finish on its own.
  bool stop(std::chrono::milliseconds limit);

  // True when the status has changed since it was last taken; cheap enough for every
  // tick.
  bool problemPending() const { return state_->problemPending.load(std::memory_order_relaxed); }
  // The current status, once per change: a line for the operator ("Run log: Mill.runs.csv
  // is in use by another program - 12 runs waiting"), empty when the problem is gone;
  // `detail`, when given, gets the system's own words for the failure behind it. False
  // when nothing changed, and also while the thread holds the lock (ask again later):
  // never waits.
  bool takeProblem(std::string& text, std::string* detail = nullptr);

 private:
  static constexpr size_t kHandOverSize = 64;
  bool moveHandOver(std::unique_lock<std::mutex>& lock);

  std::shared_ptr<WriterState> state_;
  std::thread thread_;
  Record handOver_[kHandOverSize];
  size_t handOverCount_ = 0;
  uint32_t handOverDropped_ = 0;
};

}  // namespace tallymark::runlog

#include "runlog/writer.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "runlog/csv_line.h"
#include "runlog/log_path.h"

namespace tallymark::runlog {
namespace {

constexpr size_t kBatch = 32;
// With nothing to do the thread still looks now and then; every change signals it.
constexpr std::chrono::minutes kIdleWait{1};

// Waits for a signal or `timeout`, without the lock.
void waitUnlocked(WriterState& s, std::unique_lock<std::mutex>& lock,
                  std::chrono::milliseconds timeout) {
  lock.unlock();
  s.wake.wait(timeout);
  lock.lock();
}
// Whole lines per write when rows move from the side file into the log.
constexpr size_t kMoveChunk = 64 * 1024;

size_t linesIn(std::string_view text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// How many bytes from the start of `rows` the file already ends with (`last` being its
// last bytes): the longest such start, so that a file ending with rows[0..k) and part
// of row k gives all of that. Only a start ending where `last` ends can match, which
// keeps the search short.
size_t heldAlready(const std::string& last, std::string_view rows) {
  if (last.empty()) return 0;
  for (size_t n = std::min(last.size(), rows.size()); n > 0; --n) {
    if (rows[n - 1] != last.back()) continue;
    if (std::equal(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n),
                   last.end() - static_cast<std::ptrdiff_t>(n))) {
      return n;
    }
  }
  return 0;
}

// The thread's side of the disk: the log, its side file, and what is known about
// either's end. One thread only.
class Mover {
 public:
  Mover(platform::AppendFile& disk, char separator)
      : disk_(disk), header_(fileHeader(separator)), separator_(separator) {}

  // Later rows go to `log`. What the side file already holds (an earlier writer's, or
  // one that crashed) is moved first; whether part of it is in the log already is not
  // known.
  void setLog(const std::string& log) {
    log_ = log;
    side_ = waitingFilePath(log);
    sideRows_ = 0;
    sideMayHoldRows_ = true;
    logUncertain_ = true;
    sideUncertain_ = false;
  }

  // Makes `batch[0..pending)` durable and moves every row into the log if it can;
  // rows that reached either file leave the batch. False when anything is left over
  // (in the batch or the side file).
  bool step(Record* batch, size_t& pending) {
    fault_ = platform::FileFault::None;
    detail_.clear();
    problemFile_.clear();
    sideFailed_ = false;
    if (pending > 0) toSide(batch, pending);
    if (sideMayHoldRows_) moveSide();
    // The side file cannot be written but the log perhaps can: straight in, behind
    // the rows the side file still holds.
    if (pending > 0 && !sideMayHoldRows_) toLog(batch, pending);
    return pending == 0 && !sideMayHoldRows_;
  }

  size_t rowsInSide() const { return sideMayHoldRows_ ? sideRows_ : 0; }
  bool sideFailed() const { return sideFailed_; }
  platform::FileFault fault() const { return fault_; }
  const std::string& detail() const { return detail_; }
  const std::string& problemFile() const { return problemFile_; }

 private:
  // The log's failure is the one the operator hears of; the side file's only when the
  // log itself did not fail.
  void fail(const std::string& path, const std::string& error) {
    const bool isLog = path == log_;
    if (!isLog && fault_ != platform::FileFault::None) return;
    fault_ = disk_.fault();
    if (fault_ == platform::FileFault::None) fault_ = platform::FileFault::Other;
    detail_ = error;
    problemFile_ = path;
  }

  std::string format(const Record* batch, size_t n) const {
    std::string rows;
    char line[kMaxLineSize];
    for (size_t i = 0; i < n; ++i) rows.append(line, formatLine(batch[i], line, separator_));
    return rows;
  }

  static void dropWritten(Record* batch, size_t& pending, size_t rows) {
    // A note on dropped records travels with the first record still unwritten.
    if (rows > 0 && rows < pending && batch[rows].droppedBefore == 0) {
      batch[rows].droppedBefore = batch[0].droppedBefore;
    }
    std::move(batch + rows, batch + pending, batch);
    pending -= rows;
  }

  void toSide(Record* batch, size_t& pending) {
    const std::string rows = format(batch, pending);
    size_t done = 0;
    std::string error;
    const bool ok = appendRows(side_, rows, sideUncertain_, true, done, error);
    const size_t written = linesIn(std::string_view(rows).substr(0, done));
    if (written > 0) {
      sideRows_ = (sideMayHoldRows_ ? sideRows_ : 0) + written;
      sideMayHoldRows_ = true;
    }
    dropWritten(batch, pending, written);
    if (!ok) {
      sideFailed_ = true;
      // Until the file's end has been looked at again, the next row may be in it in
      // part or whole.
      sideUncertain_ = true;
      fail(side_, error);
    } else {
      sideUncertain_ = false;
    }
  }

  void moveSide() {
    std::string error;
    std::string contents;
    if (!disk_.read(side_, contents, error)) {
      sideFailed_ = true;
      fail(side_, error);
      return;
    }
    // Its header, whole or cut, then whole rows; a cut last row never reached the
    // disk whole, so its record was still in memory then.
    size_t begin = 0;
    if (contents.compare(0, header_.size(), header_) == 0) {
      begin = header_.size();
    } else if (header_.compare(0, contents.size(), contents) == 0) {
      begin = contents.size();
    }
    const size_t end = contents.rfind('\n') == std::string::npos || contents.rfind('\n') < begin
                           ? begin
                           : contents.rfind('\n') + 1;
    const std::string_view rows = std::string_view(contents).substr(begin, end - begin);
    sideRows_ = linesIn(rows);
    if (!rows.empty()) {
      size_t done = 0;
      if (!appendRows(log_, rows, logUncertain_, false, done, error)) {
        // Part of the rows may have gone in: the next move looks at the log's end.
        logUncertain_ = true;
        fail(log_, error);
        return;
      }
    }
    if (!disk_.remove(side_, error)) {
      // Every row is in the log; the next move finds them there.
      logUncertain_ = true;
      fail(side_, error);
      return;
    }
    logUncertain_ = false;
    sideMayHoldRows_ = false;
    sideRows_ = 0;
  }

  void toLog(Record* batch, size_t& pending) {
    const std::string rows = format(batch, pending);
    size_t done = 0;
    std::string error;
    const bool ok = appendRows(log_, rows, logUncertain_, false, done, error);
    dropWritten(batch, pending, linesIn(std::string_view(rows).substr(0, done)));
    logUncertain_ = !ok;
    if (!ok) fail(log_, error);
  }

  // Appends `rows` (whole lines) to `path` after what the file already holds of them
  // (looked for only when `uncertain`), the header first into a new file. A cut last
  // line that is none of them is ended (the log) or cut off (`own`, the side file).
  // `done` tells how many bytes of `rows` are in the file, whole or not, on success
  // and failure alike.
  bool appendRows(const std::string& path, std::string_view rows, bool uncertain, bool own,
                  size_t& done, std::string& error) {
    done = 0;
    if (!disk_.open(path, error)) return false;
    unsigned long long size = 0;
    std::string last;
    const size_t want = std::max(header_.size(), uncertain ? rows.size() : size_t{2});
    if (!disk_.tail(want, size, last, error)) return closed(false);
    std::string lead;
    if (size <= header_.size() && header_.compare(0, last.size(), last) == 0) {
      lead = header_.substr(last.size());  // a new file, or a header cut short
    } else {
      if (uncertain) done = heldAlready(last, rows);
      if (done == 0 && !last.empty() && last.back() != '\n') {
        if (own) {
          disk_.close();
          if (!cutLastLine(path, error) || !disk_.open(path, error)) return false;
        } else {
          lead = last.back() == '\r' ? "\n" : "\r\n";
        }
      }
    }
    while (done < rows.size() || !lead.empty()) {
      size_t n = std::min(rows.size() - done, kMoveChunk);
      if (done + n < rows.size()) {
        const size_t lineEnd = rows.rfind('\n', done + n - 1);
        n = lineEnd != std::string_view::npos && lineEnd >= done ? lineEnd + 1 - done
                                                                 : rows.find('\n', done) + 1 - done;
      }
      std::string chunk = std::move(lead);
      lead.clear();
      chunk.append(rows.substr(done, n));
      if (!disk_.append(chunk.data(), chunk.size(), error)) return closed(false);
      done += n;
    }
    return closed(disk_.flush(error));
  }

  bool closed(bool ok) {
    disk_.close();
    return ok;
  }

  // The side file without its cut last line.
  bool cutLastLine(const std::string& path, std::string& error) {
    std::string contents;
    if (!disk_.read(path, contents, error)) return false;
    const size_t end = contents.rfind('\n');
    contents.resize(end == std::string::npos ? 0 : end + 1);
    return disk_.replace(path, contents, error);
  }

  platform::AppendFile& disk_;
  const std::string header_;
  const char separator_;
  std::string log_;
  std::string side_;
  size_t sideRows_ = 0;           // rows the side file holds, when it may hold any
  bool sideMayHoldRows_ = false;  // not known to be empty or gone
  bool logUncertain_ = false;     // the log's end may hold part of the rows due next
  bool sideUncertain_ = false;    // the same for the side file
  bool sideFailed_ = false;
  platform::FileFault fault_ = platform::FileFault::None;
  std::string detail_;
  std::string problemFile_;
};

std::string statusText(const std::string& log, platform::FileFault fault, size_t waiting,
                       bool inMemory) {
  const char* what = "cannot be written";
  switch (fault) {
    case platform::FileFault::InUse:
      what = "is in use by another program";
      break;
    case platform::FileFault::Denied:
      what = "cannot be written (no permission)";
      break;
    case platform::FileFault::NoFolder:
      what = "cannot be made: its folder is missing";
      break;
    case platform::FileFault::IsFolder:
      what = "is a folder";
      break;
    case platform::FileFault::Full:
      what = "cannot be written: the disk is full";
      break;
    case platform::FileFault::None:
    case platform::FileFault::Other:
      break;
  }
  char count[64];
  std::snprintf(count, sizeof count, " - %lu run%s waiting%s", static_cast<unsigned long>(waiting),
                waiting == 1 ? "" : "s", inMemory ? " in memory" : "");
  return "Run log: " + fileNameOf(log) + " " + what + count;
}

void run(const std::shared_ptr<WriterState>& state) {
  WriterState& s = *state;
  Mover mover(*s.disk, s.options.separator);
  Record batch[kBatch];
  size_t pending = 0;    // the first `pending` records of batch, oldest first
  bool behind = false;   // rows wait in the side file or memory after a failed try
  bool retryNow = true;  // a new writer (or path) first moves what the side file holds
  auto retryAt = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    if (s.options.whileLocked) s.options.whileLocked();
    // A new log first gets what its side file already holds, before any new record.
    bool recovering = false;
    if (s.pathChanged) {
      mover.setLog(s.path);
      s.pathChanged = false;
      retryNow = true;
      recovering = true;
    }
    if (pending == 0 && !recovering) pending = s.queue.take(batch, kBatch);
    const bool stopping = s.stopping;
    // New records go to the side file at once, even while the log is failing; the log
    // alone is tried again only after a pause.
    if (pending == 0 && !retryNow && !(stopping && behind)) {
      if (stopping) break;
      if (behind) {
        const auto now = std::chrono::steady_clock::now();
        if (now < retryAt) {
          waitUnlocked(s, lock, std::chrono::ceil<std::chrono::milliseconds>(retryAt - now));
        }
        retryNow = std::chrono::steady_clock::now() >= retryAt;
      } else {
        waitUnlocked(s, lock, kIdleWait);
      }
      continue;
    }
    retryNow = false;

    lock.unlock();
    const bool done = mover.step(batch, pending);
    lock.lock();
    behind = !done;
    std::string status;
    if (!done) {
      status = statusText(mover.problemFile(), mover.fault(),
                          mover.rowsInSide() + pending + s.queue.size(), mover.sideFailed());
      retryAt = std::chrono::steady_clock::now() + s.options.retryAfter;
    }
    if (status != s.status) {
      s.status = status;
      s.detail = mover.detail();
      s.problemPending.store(true, std::memory_order_relaxed);
    }
    // Stopping: one last try only, the host is waiting; but while the side file takes
    // the records, all of them go there.
    if (stopping && !done && (pending > 0 || s.queue.empty())) break;
  }
  s.finished = true;
  s.ended.notify_all();
}

}  // namespace

WriterState::WriterState(std::unique_ptr<platform::AppendFile> file, std::string logPath,
                         const WriterOptions& writerOptions)
    : queue(writerOptions.capacity),
      path(std::move(logPath)),
      disk(std::move(file)),
      options(writerOptions) {}

Writer::Writer(std::string path, std::unique_ptr<platform::AppendFile> disk, WriterOptions options)
    : state_(std::make_shared<WriterState>(std::move(disk), std::move(path), options)) {
  thread_ = std::thread([state = state_] {
    try {
      run(state);
    } catch (...) {
      // Nothing may leave the thread. Without memory for an error text the log simply
      // ends; the count goes on, and what reached the side file stays there for the
      // next start.
      std::lock_guard<std::mutex> lock(state->mutex);
      state->finished = true;
      state->ended.notify_all();
    }
  });
}

Writer::~Writer() {
  stop(std::chrono::seconds(1));
}

void Writer::push(const Record& record) {
  if (handOverCount_ == kHandOverSize) {
    std::move(handOver_ + 1, handOver_ + kHandOverSize, handOver_);
    --handOverCount_;
    ++handOverDropped_;
  }
  handOver_[handOverCount_++] = record;
  handOver();
}

void Writer::handOver() {
  std::unique_lock<std::mutex> lock(state_->mutex, std::try_to_lock);
  if (lock.owns_lock() && moveHandOver(lock)) state_->wake.signal();
}

// Moves the held records into the queue under `lock`, which it releases; true when
// there were any.
bool Writer::moveHandOver(std::unique_lock<std::mutex>& lock) {
  const bool any = handOverCount_ > 0;
  state_->queue.addDropped(handOverDropped_);
  for (size_t i = 0; i < handOverCount_; ++i) state_->queue.push(handOver_[i]);
  handOverCount_ = 0;
  handOverDropped_ = 0;
  lock.unlock();
  return any;
}

void Writer::setPath(std::string path) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->path = std::move(path);
    state_->pathChanged = true;
  }
  state_->wake.signal();
}

bool Writer::stop(std::chrono::milliseconds limit) {
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(state_->mutex);
  moveHandOver(lock);
  lock.lock();
  state_->stopping = true;
  state_->wake.signal();
  const bool ended = state_->ended.wait_for(lock, limit, [this] { return state_->finished; });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
  return ended;
}

bool Writer::takeProblem(std::string& text, std::string* detail) {
  std::unique_lock<std::mutex> lock(state_->mutex, std::try_to_lock);
  if (!lock.owns_lock() || !state_->problemPending.load(std::memory_order_relaxed)) return false;
  state_->problemPending.store(false, std::memory_order_relaxed);
  text = state_->status;
  if (detail != nullptr) *detail = state_->detail;
  return true;
}

}  // namespace tallymark::runlog

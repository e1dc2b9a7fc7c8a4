#include "runlog/writer.h"

#include <algorithm>
#include <utility>

#include "runlog/csv_line.h"

namespace tallymark::runlog {
namespace {

constexpr size_t kBatch = 32;
// With nothing to do the thread still looks now and then; every change signals it.
constexpr std::chrono::minutes kIdleWait{1};

std::atomic<detail::LockedHook> lockedHook{nullptr};

// Waits for a signal or `timeout`, without the lock.
void waitUnlocked(WriterState& s, std::unique_lock<std::mutex>& lock,
                  std::chrono::milliseconds timeout) {
  lock.unlock();
  s.wake.wait(timeout);
  lock.lock();
}

// Opens the log and appends `records` (each line in one write), after the header when
// the file is empty or a line end when its last line was cut. On a failure `written`
// tells how many records reached the file before it.
bool writeOut(platform::AppendFile& disk, const std::string& path, const Record* records, size_t n,
              size_t& written, std::string& error) {
  written = 0;
  if (!disk.open(path, error)) return false;
  unsigned long long size = 0;
  char last = '\n';
  bool ok = disk.tail(size, last, error);
  char line[2 + kMaxLineSize];
  size_t lead = 0;
  if (ok && size == 0) {
    const std::string_view header = fileHeader();
    ok = disk.append(header.data(), header.size(), error);
  } else if (ok && last != '\n') {
    line[lead++] = '\r';
    line[lead++] = '\n';
  }
  for (; ok && written < n; ++written) {
    const size_t length = lead + formatLine(records[written], line + lead);
    ok = disk.append(line, length, error);
    if (!ok) break;
    lead = 0;
  }
  if (ok) ok = disk.flush(error);
  disk.close();
  return ok;
}

void run(const std::shared_ptr<WriterState>& state) {
  WriterState& s = *state;
  Record batch[kBatch];
  size_t pending = 0;  // the first `pending` records of batch, oldest first
  std::string path;
  bool failing = false;
  bool reported = false;  // a problem was published and no write has succeeded since
  auto retryAt = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    if (detail::LockedHook hook = lockedHook.load()) hook();
    if (s.pathChanged) {
      path = s.path;
      s.pathChanged = false;
      failing = false;
    }
    if (pending == 0) pending = s.queue.take(batch, kBatch);
    const bool stopping = s.stopping;
    if (pending == 0) {
      if (stopping) break;
      waitUnlocked(s, lock, kIdleWait);
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (failing && !stopping && now < retryAt) {
      waitUnlocked(s, lock, std::chrono::ceil<std::chrono::milliseconds>(retryAt - now));
      continue;
    }

    lock.unlock();
    std::string error;
    size_t written = 0;
    const bool ok = writeOut(*s.disk, path, batch, pending, written, error);
    std::move(batch + written, batch + pending, batch);
    pending -= written;
    lock.lock();
    if (ok) {
      failing = false;
      if (reported) {
        s.problem.clear();  // the problem is gone
        s.problemPending.store(true, std::memory_order_relaxed);
        reported = false;
      }
      continue;
    }
    if (!failing) {
      s.problem = error;
      s.problemPending.store(true, std::memory_order_relaxed);
      reported = true;
    }
    failing = true;
    retryAt = std::chrono::steady_clock::now() + s.options.retryAfter;
    if (stopping) break;  // one last try only: the host is waiting
  }
  s.finished = true;
  s.ended.notify_all();
}

}  // namespace

void detail::setLockedHook(LockedHook hook) {
  lockedHook = hook;
}

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
      // ends; the count goes on.
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

bool Writer::takeProblem(std::string& text) {
  std::unique_lock<std::mutex> lock(state_->mutex, std::try_to_lock);
  if (!lock.owns_lock() || !state_->problemPending.load(std::memory_order_relaxed)) return false;
  state_->problemPending.store(false, std::memory_order_relaxed);
  text = state_->problem;
  return true;
}

}  // namespace tallymark::runlog

#include "plugin/run_record.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "counter/counter_window.h"
#include "diag/console.h"
#include "platform/file_io.h"
#include "plugin/device.h"
#include "plugin/mg.h"
#include "plugin/operator_status.h"
#include "plugin/plugin.h"
#include "runlog/log_path.h"

namespace tallymark::plugin {

runlog::Writer* runLogWriter = nullptr;

namespace {

constexpr std::chrono::milliseconds kStopLimit{900};

counter::RunTracker& tracker() {
  static counter::RunTracker instance;
  return instance;
}

// When the latest counted run ended: a batch it completed is logged with its time.
platform::ZonedDateTime& lastCountedAt() {
  static platform::ZonedDateTime at;
  return at;
}

std::function<std::unique_ptr<platform::AppendFile>()>& diskMaker() {
  static std::function<std::unique_ptr<platform::AppendFile>()> maker;
  return maker;
}

runlog::Record toRecord(const counter::RunEvent& event) {
  runlog::Record record;
  switch (event.kind) {
    case counter::RunEvent::Kind::Counted:
      record.event = runlog::Event::Counted;
      break;
    case counter::RunEvent::Kind::NotCounted:
      record.event = runlog::Event::NotCounted;
      break;
    case counter::RunEvent::Kind::Reset:
      record.event = runlog::Event::Reset;
      break;
  }
  record.at = event.at;
  record.started = event.started;
  record.durationMs = event.durationMs;
  record.qualifier = event.qualifier;
  record.count = event.count;
  record.total = event.total;
  record.countBeforeReset = event.countBeforeReset;
  return record;
}

constexpr char kRunLogPrefix[] = "Run log: ";

void printOnConsole(const std::string& text) {
  if (MyDevice == nullptr || MyDevice->console == nullptr) return;
  char line[256];
  std::snprintf(line, sizeof line, "%s%s", kRunLogPrefix, text.c_str());
  MyDevice->console->ConsolePrint(0, kRunLogConsoleRow, line);
}

// The writer's status line (empty: the problem is gone) in the counter window.
void showRunLogStatus(const std::string& status) {
  showStatus(counter::StatusSource::RunLog, status);
}

// Lets the writer go without waiting: it finishes what it has on its own.
void dropWriter() {
  showRunLogStatus(std::string());  // the log is off: nothing of it is wrong
  if (runLogWriter == nullptr) return;
  runLogWriter->stop(std::chrono::milliseconds(0));
  delete runLogWriter;
  runLogWriter = nullptr;
}

}  // namespace

std::string runLogFileFor(const std::string& profilePath, const std::string& pathSetting) {
  std::string path = runlog::runLogPath(profilePath, pathSetting);
  const bool namesFolder =
      !pathSetting.empty() &&
      (pathSetting.back() == '\\' || pathSetting.back() == '/' || platform::isFolder(path));
  if (namesFolder) {
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    path += '/' + runlog::fileNameOf(runlog::runLogPath(profilePath, ""));
  }
  // A rooted setting without a drive ("\\logs\\x.csv") still depends on the working
  // folder's drive: fixed now, once.
  return platform::absolutePath(path);
}

void configureRunLog(const std::string& profilePath, bool enabled, const std::string& pathSetting,
                     char separator) {
  if (!enabled || profilePath.empty()) {
    dropWriter();
    return;
  }
  std::string path = runLogFileFor(profilePath, pathSetting);
  if (runLogWriter != nullptr && runLogWriter->separator() == separator) {
    runLogWriter->setPath(std::move(path));
    return;
  }
  // A log's rows all have one separator: another one starts a writer of its own.
  dropWriter();
  std::unique_ptr<platform::AppendFile> disk =
      diskMaker() ? diskMaker()() : std::make_unique<platform::AppendFile>();
  try {
    runlog::WriterOptions options;
    options.separator = separator;
    runLogWriter = new runlog::Writer(std::move(path), std::move(disk), options);
  } catch (...) {
    // No thread (or no memory) for the writer: the counter goes on without the log.
    printOnConsole("cannot be started");
    showRunLogStatus(std::string(kRunLogPrefix) + "cannot be started - runs are not recorded");
  }
}

void followTick(const counter::TickOutcome& outcome) {
  const counter::RunTracker::Events events = tracker().follow(outcome);
  for (int i = 0; i < events.size; ++i) {
    const counter::RunEvent& event = events.event[i];
    if (event.kind == counter::RunEvent::Kind::Counted) {
      lastCountedAt() = event.at;
      if (MG::dazada_ruvaziduDlg != nullptr) MG::dazada_ruvaziduDlg->showLastRun(event.durationMs);
    }
    if (runLogWriter != nullptr) runLogWriter->push(toRecord(event));
  }
}

void recordBatchComplete(const counter::TickOutcome& outcome) {
  if (runLogWriter == nullptr) return;
  runlog::Record record;
  record.event = runlog::Event::BatchComplete;
  record.at = lastCountedAt();
  record.count = outcome.count;
  record.total = outcome.total;
  runLogWriter->push(record);
}

void serviceRunLog() {
  if (runLogWriter == nullptr) return;
  if (runLogWriter->holdsRecords()) runLogWriter->handOver();
  // The status line's text is short, for the operator; the console, for whoever
  // looks closer, has the system's words.
  std::string status;
  std::string detail;
  if (!runLogWriter->takeProblem(status, &detail)) return;
  if (status.empty()) {
    printOnConsole("every row is written");
  } else if (!detail.empty()) {
    printOnConsole(detail);
  } else {
    printOnConsole(status.rfind(kRunLogPrefix, 0) == 0 ? status.substr(sizeof kRunLogPrefix - 1)
                                                       : status);
  }
  showRunLogStatus(status);
}

void stopRunLog() {
  if (runLogWriter == nullptr) return;
  runLogWriter->stop(kStopLimit);
  delete runLogWriter;
  runLogWriter = nullptr;
}

void detail::resetRunRecordForTests() {
  stopRunLog();
  lastCountedAt() = platform::ZonedDateTime();
  setRunClock(nullptr);
  setRunLogDisk(nullptr);
}

void setRunClock(std::function<counter::RunInstant()> clock) {
  tracker() = counter::RunTracker(clock ? std::move(clock) : counter::systemRunInstant);
}

void setRunLogDisk(std::function<std::unique_ptr<platform::AppendFile>()> makeDisk) {
  diskMaker() = std::move(makeDisk);
}

}  // namespace tallymark::plugin

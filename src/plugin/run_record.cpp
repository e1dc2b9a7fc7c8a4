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
#include "plugin/state.h"
#include "runlog/log_path.h"

namespace tallymark::plugin {

namespace {

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
  if (state().runLogWriter == nullptr) return;
  state().runLogWriter->stop(std::chrono::milliseconds(0));
  delete state().runLogWriter;
  state().runLogWriter = nullptr;
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
  if (state().runLogWriter != nullptr && state().runLogWriter->separator() == separator) {
    state().runLogWriter->setPath(std::move(path));
    return;
  }
  // A log's rows all have one separator: another one starts a writer of its own.
  dropWriter();
  std::unique_ptr<platform::AppendFile> disk = state().environment.newAppendFile();
  try {
    runlog::WriterOptions options;
    options.separator = separator;
    if (const auto& hook = state().environment.whileLocked) {
      options.whileLocked = [hook] { hook("run log"); };
    }
    state().runLogWriter = new runlog::Writer(std::move(path), std::move(disk), options);
  } catch (...) {
    // No thread (or no memory) for the writer: the counter goes on without the log.
    printOnConsole("cannot be started");
    showRunLogStatus(std::string(kRunLogPrefix) + "cannot be started - runs are not recorded");
  }
}

void followTick(const counter::TickOutcome& outcome) {
  const counter::RunTracker::Events events = state().runs.follow(outcome);
  for (int i = 0; i < events.size; ++i) {
    const counter::RunEvent& event = events.event[i];
    if (event.kind == counter::RunEvent::Kind::Counted) {
      state().lastCountedAt = event.at;
      if (MG::dazada_ruvaziduDlg != nullptr) MG::dazada_ruvaziduDlg->showLastRun(event.durationMs);
    }
    if (state().runLogWriter != nullptr) state().runLogWriter->push(toRecord(event));
  }
}

void recordBatchComplete(const counter::TickOutcome& outcome) {
  if (state().runLogWriter == nullptr) return;
  runlog::Record record;
  record.event = runlog::Event::BatchComplete;
  record.at = state().lastCountedAt;
  record.count = outcome.count;
  record.total = outcome.total;
  state().runLogWriter->push(record);
}

void serviceRunLog() {
  if (state().runLogWriter == nullptr) return;
  if (state().runLogWriter->holdsRecords()) state().runLogWriter->handOver();
  // The status line's text is short, for the operator; the console, for whoever
  // looks closer, has the system's words.
  std::string status;
  std::string detail;
  if (!state().runLogWriter->takeProblem(status, &detail)) return;
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
  state().stopRunLog();
}

}  // namespace tallymark::plugin

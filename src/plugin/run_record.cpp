#include "plugin/run_record.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "counter/counter_window.h"
#include "diag/console.h"
#include "platform/ansi_text.h"
#include "plugin/device.h"
#include "plugin/mg.h"
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

void printOnConsole(const std::string& text) {
  if (MyDevice == nullptr || MyDevice->console == nullptr) return;
  char line[256];
  std::snprintf(line, sizeof line, "Run log: %s", text.c_str());
  MyDevice->console->ConsolePrint(0, kRunLogConsoleRow, line);
}

// Lets the writer go without waiting: it finishes what it has on its own.
void dropWriter() {
  if (runLogWriter == nullptr) return;
  runLogWriter->stop(std::chrono::milliseconds(0));
  delete runLogWriter;
  runLogWriter = nullptr;
}

}  // namespace

void configureRunLog(const char* profileName, bool enabled, const std::string& pathSetting) {
  if (!enabled || profileName == nullptr) {
    dropWriter();
    return;
  }
  std::string path = runlog::runLogPath(profileName, platform::toAnsiCodePage(pathSetting));
  if (runLogWriter != nullptr) {
    runLogWriter->setPath(std::move(path));
    return;
  }
  std::unique_ptr<platform::AppendFile> disk =
      diskMaker() ? diskMaker()() : std::make_unique<platform::AppendFile>();
  try {
    runLogWriter = new runlog::Writer(std::move(path), std::move(disk));
  } catch (...) {
    // No thread (or no memory) for the writer: the counter goes on without the log.
    printOnConsole("cannot be started");
  }
}

void followTick(const counter::TickOutcome& outcome) {
  const counter::RunTracker::Events events = tracker().follow(outcome);
  for (int i = 0; i < events.size; ++i) {
    const counter::RunEvent& event = events.event[i];
    if (event.kind == counter::RunEvent::Kind::Counted && MG::dazada_ruvaziduDlg != nullptr) {
      MG::dazada_ruvaziduDlg->showLastRun(event.durationMs);
    }
    if (runLogWriter != nullptr) runLogWriter->push(toRecord(event));
  }
}

void serviceRunLog() {
  if (runLogWriter == nullptr) return;
  if (runLogWriter->holdsRecords()) runLogWriter->handOver();
  // The status line's text is short, for the operator; the console, for whoever
  // looks closer, has the system's words.
  std::string status;
  std::string detail;
  if (runLogWriter->takeProblem(status, &detail)) {
    printOnConsole(status.empty() ? "every row is written" : detail.empty() ? status : detail);
  }
}

void stopRunLog() {
  if (runLogWriter == nullptr) return;
  runLogWriter->stop(kStopLimit);
  delete runLogWriter;
  runLogWriter = nullptr;
}

void detail::resetRunRecordForTests() {
  stopRunLog();
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

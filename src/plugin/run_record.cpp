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
  std::string problem;
  if (runLogWriter->takeProblem(problem)) printOnConsole(problem);
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

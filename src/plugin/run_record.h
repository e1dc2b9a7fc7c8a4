// What follows a tick that did something: the runs' times, the last run's cycle time in
// the counter window, and the run log. All of it on the host's user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "counter/run_tracker.h"
#include "platform/file_io.h"
#include "plugin/state.h"
#include "runlog/writer.h"

namespace tallymark::plugin {

// Starts, moves or stops the run log of the profile at `profilePath` (absolute, in the
// file functions' encoding). `pathSetting` is the profile's RunLogPath, UTF-8, empty for
// the default; a folder (one that exists, or any path ending in a separator) gets the
// default name inside it. `separator` is the log's field separator (',' or ';'). Never
// waits for the disk.
void configureRunLog(const std::string& profilePath, bool enabled, const std::string& pathSetting,
                     char separator = ',');

// Where configureRunLog puts the log; the same rules, without starting anything.
std::string runLogFileFor(const std::string& profilePath, const std::string& pathSetting);

// After a tick whose outcome is eventful().
void followTick(const tallymark::counter::TickOutcome& outcome);

// A "batch complete" line after the counted run of `outcome`, with that run's time.
void recordBatchComplete(const tallymark::counter::TickOutcome& outcome);

// Hands over records the writer could not take at once, and shows a change of the run
// log's status in the console's line area and, while a problem lasts, in the counter
// window's status line. Call when runLogNeedsService(state()).
void serviceRunLog();
inline bool runLogNeedsService(const State& s) {
  const tallymark::runlog::Writer* writer = s.runLogWriter;
  return writer != nullptr && (writer->holdsRecords() || writer->problemPending());
}

// Writes what waits and ends the writer; returns within a second even when the disk
// hangs (the writer is then left to finish on its own).
void stopRunLog();

// The console row of the run log's problems: below the diagnostic dump.
inline constexpr int kRunLogConsoleRow = 9;

}  // namespace tallymark::plugin

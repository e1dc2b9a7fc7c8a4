// The outside world as the plug-in's subsystems see it: the clocks, the disk and the
// message boxes. A subsystem is handed one when it is made and keeps a reference (or a
// copy of the part it needs); nothing in it is process-wide. The plug-in uses the
// system's (a default-constructed Environment); a test builds one whose members answer
// as it likes and hands it to what it tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/local_time.h"
#include "platform/zoned_time.h"

namespace tallymark::platform {

using SteadyTime = std::chrono::steady_clock::time_point;

// Every member is optional: an empty one means the system's own. Fill it before it is
// handed over; the calls below may then come from any thread, so a member a test sets
// must be safe to call from the threads of what it tests.
struct Environment {
  // The wall clock the operator reads (the counter window's reset time).
  std::function<LocalDateTime()> localClock;
  // The wall clock with its UTC offset, for records that leave the machine (run times).
  std::function<ZonedDateTime()> zonedClock;
  // Milliseconds from a clock that never goes back; wraps at 2^32.
  std::function<uint32_t()> monotonicClock;
  // The clock paced waits are measured on, and the sleep until a time point on it.
  std::function<SteadyTime()> steadyClock;
  std::function<void(SteadyTime)> sleepUntil;
  // Answers each message box instead of showing it.
  MessageHook messages;
  // Called before each step of replaceFile: a non-empty text fails that step with it.
  FileFaultHook fileFaults;
  // Makes the file a log appends through.
  std::function<std::unique_ptr<AppendFile>()> appendFiles;
  // Called by a worker thread each time it looks at its work while holding the lock its
  // work shares with the tick ("run log" for the run log's writer, "MTConnect" for the
  // adapter's sender). It may block, to hold the thread there.
  std::function<void(const char* worker)> whileLocked;

  LocalDateTime localNow() const { return localClock ? localClock() : detail::systemLocalNow(); }
  ZonedDateTime zonedNow() const;
  uint32_t monotonicNow() const;
  SteadyTime steadyNow() const {
    return steadyClock ? steadyClock() : std::chrono::steady_clock::now();
  }
  void sleepTill(SteadyTime when) const;
  // As showMessage (dialogs.h), through `messages` when there is one.
  MessageAnswer showMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons, void* owner = nullptr) const;
  // As replaceFileAtomically (file_io.h), failing where `fileFaults` says.
  bool replaceFile(const std::string& path, const std::string& contents, std::string& error) const;
  // A new file object for appending, not yet open.
  std::unique_ptr<AppendFile> newAppendFile() const;
};

// The system's environment: every member empty. Valid for the life of the module.
const Environment& systemEnvironment();

}  // namespace tallymark::platform

// Runs a script's steps on a thread of its own, acting on the host's windows the way an
// operator would: through posted messages and real clicks, so that modal boxes the
// plug-in opens on the user-interface thread never block the script.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "host_win32.h"
#include "script.h"

namespace tallymark::hostsim {

class ScriptRunner {
 public:
  ScriptRunner(Host& h, Script script) : host_(h), script_(std::move(script)) {}
  ~ScriptRunner();

  // Starts the steps; when they end (or one fails) the runner closes the frame.
  void start();
  // 0 while running or when every step passed; 1 after a failed step.
  int exitCode() const { return failed_ ? 1 : 0; }
  bool finished() const { return finished_; }
  // The line of the step in progress, for the time-out message.
  int currentLine() const { return currentLine_; }

 private:
  void run();
  // Each returns an error text, empty when the step passed.
  std::string runStep(const Step& step);
  std::string runs(const Step& step);
  std::string menu(const Step& step);
  std::string config();
  std::string reset(const Step& step);
  std::string screenshot(const Step& step);
  std::string expectDro(const Step& step);
  std::string expectLabel(const Step& step);

  Host& host_;
  Script script_;
  std::thread thread_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> currentLine_{0};
};

}  // namespace tallymark::hostsim

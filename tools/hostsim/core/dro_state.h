// The substitute host's DROs and LEDs, and the state file that keeps the DROs across
// restarts, as the real host keeps them. Used on the host's user-interface thread only.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tallymark::hostsim {

class MachineState {
 public:
  double dro(short n) const;
  // Marks the state dirty only when the value really changes (NaN compared bitwise, so a
  // NaN written twice is one change, not an endless stream of them).
  void setDro(short n, double value);
  bool led(short n) const;
  void setLed(short n, bool on) { leds_[n] = on; }

  const std::map<short, double>& dros() const { return dros_; }
  void replaceDros(std::map<short, double> dros) { dros_ = std::move(dros); }

  bool dirty() const { return dirty_; }
  void markClean() { dirty_ = false; }

 private:
  std::map<short, double> dros_;
  std::map<short, bool> leds_;
  bool dirty_ = false;
};

// State file text: "dro <number> <value>" per line, values with 17 significant digits
// so that every double reads back bit for bit; '#' starts a comment line.
std::string formatState(const std::map<short, double>& dros);

// Reads what it can: a malformed line is skipped and described in `warnings` (with its
// line number), so one damaged line never costs the other DROs.
std::map<short, double> parseState(std::string_view text, std::vector<std::string>& warnings);

// A missing file is an empty state, not an error. Returns false with `error` set when the
// file exists but cannot be read.
bool loadStateFile(const std::string& path, std::map<short, double>& dros,
                   std::vector<std::string>& warnings, std::string& error);

// Writes a temporary file beside `path` and renames it over `path`, so that a crash in
// the middle never leaves a half-written state behind.
bool saveStateFile(const std::string& path, const std::map<short, double>& dros,
                   std::string& error);

}  // namespace tallymark::hostsim

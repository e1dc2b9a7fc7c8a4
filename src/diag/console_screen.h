// An in-memory text screen: the console of builds without a window system, so that
// what the console shows can be read back and checked.
#pragma once

#include <string>
#include <vector>

namespace tallymark::diag {

class ConsoleScreen {
 public:
  // Overwrites the row from column x on with msg; the row grows with blanks as needed
  // and keeps any tail beyond msg. Negative positions are ignored, as a real console
  // refuses them.
  void write(int x, int y, const char* msg);
  // The row's text, empty for a row never written.
  std::string row(int y) const;
  const std::string& title() const { return title_; }
  void setTitle(const std::string& title) { title_ = title; }
  void clear();

 private:
  std::vector<std::string> rows_;
  std::string title_;
};

// The process's one console in builds without a window system.
ConsoleScreen& headlessConsole();

}  // namespace tallymark::diag

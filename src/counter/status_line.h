// The counter window's status line: what is wrong just now, for the operator, who has no
// console in a shipped build. Each source of problems holds one text; the line shows them
// in a fixed order, most important first, one per line, and is empty while all is well.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallymark::counter {

enum class StatusSource {
  RunLog,         // runs that cannot be recorded come first
  Monitoring,     // the MTConnect adapter
  CommandServer,  // port 7000
};
inline constexpr size_t kStatusSourceCount = 3;

class StatusLine {
 public:
  // Sets the text of `source`; an empty text clears it. True when the line changed.
  bool set(StatusSource source, std::string_view text);
  const std::string& text() const { return line_; }

 private:
  std::string texts_[kStatusSourceCount];
  std::string line_;
};

}  // namespace tallymark::counter

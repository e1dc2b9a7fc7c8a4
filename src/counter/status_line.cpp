#include "counter/status_line.h"

namespace tallymark::counter {

bool StatusLine::set(StatusSource source, std::string_view text) {
  std::string& slot = texts_[static_cast<size_t>(source)];
  if (slot == text) return false;
  slot.assign(text.data(), text.size());
  std::string line;
  for (const std::string& each : texts_) {
    if (each.empty()) continue;
    if (!line.empty()) line += '\n';
    line += each;
  }
  line_.swap(line);
  return true;
}

}  // namespace tallymark::counter

#include "run_log_view.h"

#include "numbers.h"
#include "runlog/log_path.h"

namespace tallymark::hostsim {

std::string runLogFile(const std::string& profilePath) {
  return tallymark::runlog::runLogPath(profilePath, "");
}

std::vector<std::string> lastLogLines(std::string_view tail, bool fromStart, size_t count) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (fromStart && tail.substr(0, kBom.size()) == kBom) tail.remove_prefix(kBom.size());
  if (!fromStart) {
    const size_t firstEnd = tail.find('\n');
    tail.remove_prefix(firstEnd == std::string_view::npos ? tail.size() : firstEnd + 1);
  }
  const size_t lastEnd = tail.rfind('\n');
  tail = tail.substr(0, lastEnd == std::string_view::npos ? 0 : lastEnd + 1);
  std::vector<std::string> lines = textLines(tail);
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<long>(count));
  return lines;
}

}  // namespace tallymark::hostsim

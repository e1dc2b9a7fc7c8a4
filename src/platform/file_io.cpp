#include "platform/file_io.h"

#include <algorithm>

namespace tallymark::platform {

namespace detail {

bool readAll(std::string& contents, unsigned long long expected, const ReadSome& read) {
  // One byte more than the size, so that the end shows without regrowing; the size is
  // only a hint (the file may change while it is read), so the text grows if need be.
  constexpr unsigned long long kLargestHint = 1ull << 30;
  size_t room = expected < kLargestHint ? static_cast<size_t>(expected) + 1 : kFileWriteChunk;
  contents.clear();
  contents.resize(std::max<size_t>(room, 256));
  size_t filled = 0;
  for (;;) {
    if (filled == contents.size()) contents.resize(contents.size() * 2);
    long long n = read(contents.data() + filled, contents.size() - filled);
    if (n < 0) return false;
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  contents.resize(filled);
  return true;
}

}  // namespace detail

bool replaceFileAtomically(const std::string& path, const std::string& contents, std::string& error,
                           const FileFaultHook& faults) {
  auto injected = [&faults](FileStep step, std::string& error) {
    if (!faults) return false;
    error = faults(step);
    return !error.empty();
  };
  detail::TempFile temp;
  if (injected(FileStep::CreateTemp, error) || !detail::createTempBeside(path, temp, error)) {
    return false;
  }
  size_t done = 0;
  while (done < contents.size()) {
    size_t chunk = std::min(kFileWriteChunk, contents.size() - done);
    if (injected(FileStep::Write, error) ||
        !detail::writeChunk(temp, contents.data() + done, chunk, error)) {
      detail::discard(temp);
      return false;
    }
    done += chunk;
  }
  if (injected(FileStep::Flush, error) || !detail::flushAndClose(temp, error) ||
      injected(FileStep::Replace, error) || !detail::moveOver(temp, path, error)) {
    detail::discard(temp);
    return false;
  }
  return true;
}

}  // namespace tallymark::platform

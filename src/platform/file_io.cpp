#include "platform/file_io.h"

#include <algorithm>
#include <utility>

namespace tallymark::platform {
namespace {

FileFaultHook& faultHook() {
  static FileFaultHook hook;
  return hook;
}

bool injected(FileStep step, std::string& error) {
  if (!faultHook()) return false;
  error = faultHook()(step);
  return !error.empty();
}

}  // namespace

void setFileFaultHook(FileFaultHook hook) { faultHook() = std::move(hook); }

bool replaceFileAtomically(const std::string& path, const std::string& contents,
                           std::string& error) {
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

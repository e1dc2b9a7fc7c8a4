#include "server/line_framer.h"

#include <algorithm>
#include <cstring>

namespace tallymark::server {

void LineFramer::receive(const char* bytes, size_t count) {
  const void* nul = std::memchr(bytes, '\0', count);
  if (nul != nullptr) count = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
  if (discarding_) {
    const void* cr = std::memchr(bytes, '\r', count);
    if (cr == nullptr) return;
    size_t skipped = static_cast<size_t>(static_cast<const char*>(cr) - bytes);
    bytes += skipped;
    count -= skipped;
    discarding_ = false;
    overlongPending_ = true;
  }
  buffer_.append(bytes, count);
}

bool LineFramer::readLine(std::string& line, bool& overlong) {
  for (;;) {
    size_t cr = buffer_.find('\r');
    if (cr == std::string::npos) {
      // Only unterminated text is left: bound it.
      if (buffer_.size() > kMaxPending) {
        buffer_.clear();
        discarding_ = true;
      }
      return false;
    }
    size_t end = std::min(cr + 2, buffer_.size());
    if (cr == 0 && !overlongPending_) {
      buffer_.erase(0, end);
      continue;
    }
    line.assign(buffer_, 0, cr);
    overlong = overlongPending_;
    overlongPending_ = false;
    buffer_.erase(0, end);
    return true;
  }
}

}  // namespace tallymark::server

#include "link/link_state.h"

#include <cstring>

std::atomic<int32_t> ComCloseAck{0};
std::mutex CriticalSection;
timer_resp_t current_response{};
int32_t current_response_valid = 0;
uint32_t current_response_timestamp = 0;
tallymark::link::SendBuffer send_buf{};

namespace tallymark::link {

std::mutex& channelLock() {
  static std::mutex lock;
  return lock;
}

void prepareLinkState() {
  ComCloseAck = -1;
  {
    std::lock_guard<std::mutex> guard(CriticalSection);
    std::memset(&current_response, 0, sizeof current_response);
  }
  std::lock_guard<std::mutex> guard(channelLock());
  std::memset(&send_buf, 0, sizeof send_buf);
}

}  // namespace tallymark::link

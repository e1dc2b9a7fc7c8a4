#include "link/controller.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include "link/comm.h"

commDataType* ComHandle = nullptr;
commDataType* ComHandleReset = nullptr;

namespace tallymark::link {
namespace {

constexpr char kKeepalive[] = {'k', 'e', 'e', 'p', 'a', 'l', 'i', 'v', 'e'};
constexpr int kKeepalives = 5;
constexpr auto kKeepaliveGap = std::chrono::milliseconds(50);

// Puts `replacement` in `slot`, closing and freeing what was there. Caller holds
// channelLock(); nothing else keeps a channel pointer past its hold of the lock.
void replaceChannel(commDataType*& slot, commDataType* replacement) {
  if (slot != nullptr && slot != replacement) freeChannel(slot);
  slot = replacement;
}

void fillSendBuffer() {
  const uint64_t position = 0x44444444;
  const uint32_t tail = 0xAA;
  send_buf.bytes[0] = 0x55;
  for (int i = 0; i < 8; ++i) send_buf.bytes[1 + i] = static_cast<uint8_t>(position >> (8 * i));
  for (int i = 0; i < 4; ++i) send_buf.bytes[9 + i] = static_cast<uint8_t>(tail >> (8 * i));
}

// How soon an enable waiting between keepalives sees a disable. Short plain sleeps
// rather than a condition variable's timed wait, whose wake-ups came late under Wine on
// a busy machine and bunched the keepalives together.
constexpr auto kDisableLook = std::chrono::milliseconds(5);

}  // namespace

Controller::Controller(const platform::Environment& environment, detail::LinkFaultHook faults)
    : environment_(environment), faults_(faults) {}

Controller::~Controller() {
  disable();
  ComCloseAck = 0;
  {
    std::lock_guard<std::mutex> guard(CriticalSection);
    current_response = timer_resp_t{};
    current_response_valid = 0;
    current_response_timestamp = 0;
  }
  std::lock_guard<std::mutex> guard(channelLock());
  send_buf = SendBuffer{};
}

bool Controller::faultAt(detail::LinkFault point) const {
  return faults_ != nullptr && faults_(point);
}

int32_t Controller::enable(const char* host) {
  using detail::LinkFault;
  std::lock_guard<std::mutex> serial(enableLock_);
  uint32_t disablesAtStart = disables_.load();
  commDataType* data = nullptr;
  if (comm_Open(&data, host, kDataPort) != 0) return -1;
  commDataType* reset = nullptr;
  if (faultAt(LinkFault::ResetChannel) || comm_Open(&reset, host, kResetPort) != 0) {
    // As far as the data channel, and no further: the link is left with a closed data
    // channel and no reset channel, so that no frame goes out half set up.
    comm_Close(data);
    std::lock_guard<std::mutex> guard(channelLock());
    replaceChannel(ComHandle, data);
    replaceChannel(ComHandleReset, nullptr);
    return -1;
  }
  faultAt(LinkFault::ChannelsOpened);
  auto disabled = [this, disablesAtStart] { return disables_.load() != disablesAtStart; };
  {
    std::lock_guard<std::mutex> guard(channelLock());
    if (disabled()) {
      // A disable came while the channels were being opened: it wins.
      freeChannel(data);
      freeChannel(reset);
      return -1;
    }
    replaceChannel(ComHandle, data);
    replaceChannel(ComHandleReset, reset);
  }
  // Sleeps to a deadline from the start: the call lasts at least 250 ms even where a
  // sleep may end a little early. A disable ends it within kDisableLook.
  auto next = environment_.steadyNow();
  for (int i = 0; i < kKeepalives; ++i) {
    CncCom_SendKeepalive();
    faultAt(LinkFault::KeepaliveGap);
    next += kKeepaliveGap;
    for (auto now = environment_.steadyNow(); now < next; now = environment_.steadyNow()) {
      if (disabled()) return -1;
      environment_.sleepTill(std::min(next, now + kDisableLook));
    }
    if (disabled()) return -1;
  }
  return 0;
}

// Nothing in the module could acknowledge a close, so the call does the closing itself
// and counts that as the acknowledgement instead of waiting for one. An enable under way
// is ended: it closes what it opened and returns -1.
void Controller::disable() {
  ComCloseAck = 0;
  {
    std::lock_guard<std::mutex> guard(channelLock());
    ++disables_;
    comm_Close(ComHandle);
    comm_Close(ComHandleReset);
  }
  ComCloseAck = 1;
}

int32_t Controller::statusGet(timer_resp_t* out) {
  if (out == nullptr) return -1;
  std::lock_guard<std::mutex> guard(CriticalSection);
  if (current_response_valid == 0) return -1;
  if (environment_.monotonicNow() - current_response_timestamp < kStatusFreshMs) {
    std::memcpy(out, &current_response, sizeof current_response);
    return 0;
  }
  current_response_valid = -1;
  return -1;
}

void Controller::sendOut() {
  std::lock_guard<std::mutex> guard(channelLock());
  fillSendBuffer();
  comm_Write(ComHandle, send_buf.bytes, sizeof send_buf.bytes);
}

void Controller::storeStatus(const timer_resp_t& status) {
  std::lock_guard<std::mutex> guard(CriticalSection);
  current_response = status;
  current_response_valid = 1;
  current_response_timestamp = environment_.monotonicNow();
}

}  // namespace tallymark::link

void CncCom_SendKeepalive() {
  std::lock_guard<std::mutex> guard(tallymark::link::channelLock());
  comm_Write(ComHandle, tallymark::link::kKeepalive, sizeof tallymark::link::kKeepalive);
}

// Module-wide state of the controller link. Cnc_Init_Controller prepares it; the
// controller calls use it from the outside program's threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// The controller's status record. Its inner layout belongs to the controller; the
// module only clears it and copies it out whole.
struct timer_resp_t {
  uint8_t bytes[31];
};
static_assert(sizeof(timer_resp_t) == 31, "the status record is 31 bytes");

namespace tallymark::link {
// The datagram of my_SendOut, packed as it goes on the wire (little-endian fields).
struct SendBuffer {
  uint8_t bytes[13];
};
}  // namespace tallymark::link

// Close acknowledgement: -1 after prepareLinkState, 0 while disable() closes the link,
// 1 once it has.
extern std::atomic<int32_t> ComCloseAck;

// Guards current_response, current_response_valid and current_response_timestamp.
extern std::mutex CriticalSection;
extern timer_resp_t current_response;
extern int32_t current_response_valid;       // 0: none stored; -1: found stale
extern uint32_t current_response_timestamp;  // monotonicMillis() when stored

// Guarded by tallymark::link::channelLock().
extern tallymark::link::SendBuffer send_buf;

namespace tallymark::link {

// Guards the channel handles and send_buf (the status record has CriticalSection).
std::mutex& channelLock();

// Readies the link for the controller calls (Cnc_Init_Controller's first step):
// ComCloseAck to -1, the status record and the send record cleared. Callable at any
// time and from any thread.
void prepareLinkState();

}  // namespace tallymark::link

// The controller link's calls for an outside program that loads the plug-in.
// Standard-call convention; exported under their decorated names (TALLY_MARK.def).
// Call Cnc_Init_Controller first; every call may come from any thread.
#pragma once

#include <cstdint>

#include "link/link_state.h"
#include "platform/calling_convention.h"

struct commDataType;

extern "C" {
// Opens the data channel (UDP port 8000) and the reset channel (port 8001) to `host`, a
// name or a dotted IPv4 address of at most 255 bytes, then sends "keepalive" five times
// on the data channel, 50 ms apart. 0 when both channels are open (after at least
// 250 ms), -1 otherwise. Channels of an earlier enable are closed when replaced. Enables
// from several threads run one after another; a disable during one ends it with -1.
TM_EXPORT int32_t TM_STDCALL Cnc_Communication_Enable(const char* host);

// Closes both channels, also those of an enable under way; later sends do nothing.
// Returns 0 at once, also when called again.
TM_EXPORT int32_t TM_STDCALL Cnc_Communication_Disable();

// Copies the controller status into `out` (31 bytes, owned by the caller) and returns 0
// when one was stored less than 0.25 s ago; -1 otherwise, leaving `out` untouched.
TM_EXPORT int32_t TM_STDCALL Cnc_Status_Get(timer_resp_t* out);

// Sends the fixed 13-byte frame on the data channel; nothing when it is not open.
TM_EXPORT void TM_STDCALL my_SendOut();
}

// Channels: data (port 8000) and reset (port 8001); null until the first enable.
// Guarded by tallymark::link::channelLock().
extern commDataType* ComHandle;
extern commDataType* ComHandleReset;

// Sends one "keepalive" datagram on the data channel; the result is not reported.
void CncCom_SendKeepalive();

namespace tallymark::link {

inline constexpr int32_t kDataPort = 8000;
inline constexpr int32_t kResetPort = 8001;
inline constexpr uint32_t kStatusFreshMs = 250;

// Stores a controller status, stamped with the clock, under CriticalSection. Nothing in
// the module receives a status yet; this is where a receiver would hand it over.
void storeStatus(const timer_resp_t& status);

namespace detail {
// Replaces the monotonic clock the status freshness is judged by (null: the real one).
// For tests; not part of the plug-in's interface.
void setClock(uint32_t (*clock)());

// Test seam in Cnc_Communication_Enable. The hook is called at each point; true at
// ResetChannel makes opening the reset channel fail. At the others the result is
// ignored: a hook blocks there to hold the enable (the channel lock is not held there).
enum class LinkFault {
  ResetChannel,    // opening the reset channel
  ChannelsOpened,  // both channels open, not yet installed
  KeepaliveGap,    // after each keepalive, before its 50 ms wait
};
using LinkFaultHook = bool (*)(LinkFault);
void setFaultHook(LinkFaultHook hook);
}  // namespace detail

}  // namespace tallymark::link

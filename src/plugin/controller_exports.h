// The controller calls for an outside program that loads the plug-in: the command server
// on TCP port 7000 and the datagram link to a controller. Standard-call convention;
// exported under their decorated names (TALLY_MARK.def). Call Cnc_Init_Controller first;
// every call may come from any thread, and no exception leaves one.
#pragma once

#include <cstdint>

#include "link/link_state.h"
#include "platform/calling_convention.h"

extern "C" {
// Prepares the controller link state and starts the command server on TCP port 7000
// (all local addresses). Returns 0 once the server listens, or when it already does;
// -1 when the port cannot be bound or listened on, or the listener thread cannot be
// started (the port is then left free). The link state is prepared either way, and a
// later call tries again; so does a call after the listener has ended, its socket having
// failed for good. The server runs until the process ends.
TM_EXPORT int32_t TM_STDCALL Cnc_Init_Controller();

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

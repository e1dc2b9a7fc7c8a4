// The command server's entry for an outside program that loads the plug-in. Standard-call
// convention; exported as _Cnc_Init_Controller@0 (TALLY_MARK.def).
#pragma once

#include <cstdint>

#include "platform/calling_convention.h"

extern "C" {
// Prepares the controller link state and starts the command server on TCP port 7000
// (all local addresses). Returns 0 once the server listens, or when it already does;
// -1 when the port cannot be bound or listened on, or the listener thread cannot be
// started (the port is then left free). The link state is prepared either way, and a
// later call tries again; so does a call after the listener has ended, its socket having
// failed for good. The server runs until the process ends.
TM_EXPORT int32_t TM_STDCALL Cnc_Init_Controller();
}

namespace tallymark::server {

inline constexpr uint16_t kCommandPort = 7000;

namespace detail {
// Stops the server Cnc_Init_Controller started, so that a test program ends with no
// thread of it left running. Not part of the plug-in's interface.
void stopControllerServer();
}  // namespace detail

}  // namespace tallymark::server

// The command server an outside program starts through the plug-in: one per process,
// made by the first start and kept until the process ends.
#pragma once

#include <cstdint>

#include "server/camera_source.h"

namespace tallymark::server {

// The port outside programs find the command server on.
inline constexpr uint16_t kCommandPort = 7000;

// Starts the shared server listening on `port` (all local addresses), greeting its
// clients by `camera`. True once it listens, and at once when it already does; false
// when the port cannot be bound or listened on, or the listener thread cannot be started
// (the port is then left free). A later call tries again, and so does a call after the
// listener has ended, its socket having failed for good; connections still open are
// kept. The server keeps the camera source of the call that made it. Calls from several
// threads run one after another. Throws only what locking and allocation throw.
bool startSharedServer(uint16_t port, CameraSource camera);

// What the latest start of the shared server gave, for the operator's status line. Never
// waits: any thread may ask at any time.
enum class SharedServerStart { None, Listening, Failed };
SharedServerStart lastSharedServerStart();

// For test programs: stops the shared server (as detail::stopSharedServer) and removes
// the command server's fault hook, so that the next case starts as the module loads.
void resetForTests();

namespace detail {
// Stops the shared server, waiting for all its threads, and forgets it: the next start
// makes a new one. Lets a test program end with no thread of it left running. Not part
// of the plug-in's interface.
void stopSharedServer();
}  // namespace detail

}  // namespace tallymark::server

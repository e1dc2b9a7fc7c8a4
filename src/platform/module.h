// The plug-in's hold on its own code.
//
// A host may FreeLibrary the DLL after StopPlug and go on running. The plug-in leaves
// things behind that run its code after that: the counter window (its procedure and
// timers; StopPlug releases nothing, and an Update or Notify after it is served as
// before), the command server's threads (they serve port 7000 until the process ends),
// the controller link, and a run-log writer left to a disk that hangs. None of these can
// be ended safely from the host's thread within a bounded time, and a thread stuck in
// the disk cannot be ended at all; so the module pins itself instead, and stays mapped
// until the process ends whatever FreeLibrary is called.
#pragma once

namespace tallymark::platform {

// Pins the module this code is linked into, once (later calls cost one atomic load).
// Returns true when the module is pinned (natively, where the code is linked into the
// program, always). Any thread; never throws.
bool pinModule();

}  // namespace tallymark::platform

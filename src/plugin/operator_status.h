// The counter window's status line, fed from the subsystems' problems: the one place a
// shipped build (which has no console) tells the operator what is wrong. The line is kept
// here, so that a problem found before the window exists shows once it does. Host thread
// only.
#pragma once

#include <string>
#include <string_view>

#include "counter/status_line.h"
#include "plugin/state.h"

namespace tallymark::plugin {

// Sets `source`'s part of the status line ("" clears it) and shows the line in the
// counter window when there is one.
void showStatus(tallymark::counter::StatusSource source, std::string_view text);

// The status line as it stands.
const std::string& statusText();

// Puts the status line into a counter window just made.
void showStatusInWindow();

// Looks at the problems other threads keep (the command server's port): atomics only,
// never a lock. From the tick, every kStatusPollTicks ticks.
inline constexpr int kStatusPollTicks = 10;
void pollStatusSources();
inline void pollStatus(State& s) {
  if (--s.statusPollCountdown <= 0) pollStatusSources();
}

}  // namespace tallymark::plugin

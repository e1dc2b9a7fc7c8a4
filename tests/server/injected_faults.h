// Counted failures for the command server's fault seam: the next N passes through one
// point fail. A server made with countedFaults as its hook fails nowhere until failAt.
#pragma once

#include <atomic>

#include "server/command_server.h"

namespace injected {

inline std::atomic<int> failingPoint{-1};
inline std::atomic<int> failuresLeft{0};

inline bool countedFaults(tallymark::server::detail::FaultPoint point) {
  return static_cast<int>(point) == failingPoint.load() && failuresLeft.fetch_sub(1) > 0;
}

// `times` failures at `point` to come.
inline void failAt(tallymark::server::detail::FaultPoint point, int times) {
  failuresLeft = times;
  failingPoint = static_cast<int>(point);
}

inline void clear() {
  failingPoint = -1;
}

}  // namespace injected

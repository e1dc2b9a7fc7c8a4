// One line of the run log as the update tick hands it over: a fixed-size value, copied
// into the writer's queue without allocating.
#pragma once

#include <cstdint>

#include "platform/zoned_time.h"

namespace tallymark::runlog {

enum class Event : uint8_t {
  Counted,     // a run that ended and was counted
  NotCounted,  // a run that ended without DRO 22 ever above 0
  Reset,       // a reset of the count, carried out
  // The counted run just before it brought the count to the batch target (RequiredParts)
  BatchComplete,
};

struct Record {
  Event event = Event::Counted;
  platform::ZonedDateTime at;       // when the run ended, or the reset was carried out
  platform::ZonedDateTime started;  // runs: the tick that first saw LED 804 lit
  uint32_t durationMs = 0;          // runs
  double qualifier = 0.0;           // counted runs: DRO 22 as read when the run qualified
  int32_t count = 0;                // runs, batches: DRO 1500 and 1501 after the run
  int32_t total = 0;
  int32_t countBeforeReset = 0;  // resets (the count after one is 0)
  // Set by the queue: how many older records were dropped, unwritten, just before
  // this one because the disk could not keep up.
  uint32_t droppedBefore = 0;
};

}  // namespace tallymark::runlog

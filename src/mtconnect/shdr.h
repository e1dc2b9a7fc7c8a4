// SHDR, the adapter's side of the MTConnect agent-adapter protocol, as the MTConnect
// Institute's reference agent (cppagent, "Adapter Agent Protocol") describes it:
//
// - The agent opens a TCP connection to the adapter (7878 by custom) and reads lines of
//   text, each ending in LF (a CR before it is accepted):
//       <timestamp>|<key>|<value>|<key>|<value>...
//   The timestamp is UTC, ISO 8601 ("2026-12-08T14:03:07.123Z"), and holds for every pair
//   of its line. A key names a DataItem of the agent's device file (by name, id or
//   Source). A value holding '|' would need quoting; none of ours can.
// - The value UNAVAILABLE says the value is not known.
// - The agent keeps the latest value of every item: an adapter sends all of them to a
//   newly connected agent, and afterwards only those that change.
// - Lines starting with "* " are commands. The agent sends "* PING"; the adapter answers
//   "* PONG <ms>", naming the heartbeat it wants. The agent then pings about that often
//   and takes the adapter for dead when a PONG is more than twice that late; the adapter
//   may close a connection whose pings have stopped for twice that time. An agent that
//   never pings falls back to a time-out of its own.
//
// Everything here is pure and allocation-free: callers pass fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mtconnect/observations.h"

namespace tallymark::mtconnect::shdr {

// The items in the order they are sent, and their keys (the DataItem names of
// docs/mtconnect/Devices.xml). The batch items go out only while Observations::batchItems
// is set (or, once, as UNAVAILABLE when it has just been cleared).
enum Item {
  kAvail,
  kExecution,
  kPartCount,
  kTotalPartCount,
  kCycleTime,
  kLastReset,
  kPartCountTarget,
  kPartCountRemaining,
  kItemCount
};
const char* itemKey(int item);

// Room for any value text, with its terminating NUL.
inline constexpr size_t kValueCapacity = 32;
// Room for any line composeLine or composePong writes.
inline constexpr size_t kLineCapacity = 384;

// "yyyy-mm-ddThh:mm:ss.sssZ" (24 characters and a NUL) for milliseconds since
// 1970-01-01T00:00:00Z; years outside 0..9999 are clamped to its ends.
size_t formatTimestamp(int64_t utcMs, char* out);

// The text of one item's value, NUL-terminated; its length.
size_t formatValue(const Observations& values, int item, char* out);

// The line that tells an agent `now`: with `before` null every item, otherwise only the
// items whose text differs from `before`'s. Stamped `timestampMs`, ending in LF, no NUL.
// Returns its length, 0 when no item differs. `out` holds kLineCapacity bytes.
size_t composeLine(int64_t timestampMs, const Observations& now, const Observations* before,
                   char* out);

// "* PONG <heartbeatMs>" and LF; its length.
size_t composePong(int heartbeatMs, char* out);

// What an agent sends, framed into lines at LF (a CR before the LF is dropped). Only
// "* PING" means something; every other line is ignored. A line is kept up to
// kMaxLine bytes; past that the rest of it is dropped unread, so an agent that never
// sends an LF costs nothing but the bytes in flight.
class CommandReader {
 public:
  static constexpr size_t kMaxLine = 64;

  // The number of "* PING" lines completed by `data`.
  size_t receive(const char* data, size_t size);

 private:
  char line_[kMaxLine];
  size_t length_ = 0;
  bool overlong_ = false;
};

}  // namespace tallymark::mtconnect::shdr

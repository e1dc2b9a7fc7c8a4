// The controller link: two datagram channels to a controller, the announcement, the
// fixed frame and the controller status record. The controller calls an outside program
// makes (plugin/controller_exports.h) are thin wrappers over a Controller's calls.
//
// prepareLinkState() (link_state.h) comes first; after it every call may be made from
// any thread. They throw only what locking throws (std::system_error).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/link_state.h"
#include "platform/environment.h"

struct commDataType;

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

namespace detail {
// Test seam in enable(). The hook is called at each point; true at ResetChannel makes
// opening the reset channel fail. At the others the result is ignored: a hook blocks
// there to hold the enable (the channel lock is not held there).
enum class LinkFault {
  ResetChannel,    // opening the reset channel
  ChannelsOpened,  // both channels open, not yet installed
  KeepaliveGap,    // after each keepalive, before its 50 ms wait
};
using LinkFaultHook = bool (*)(LinkFault);
}  // namespace detail

// The link's calls over the module's channels and status record (the globals above and
// in link_state.h), timed by the environment's clocks: the status's freshness by its
// monotonic clock, the keepalives by its steady clock and sleep. The plug-in has one (in
// its state); a test may make its own, one at a time, with the plug-in's idle.
class Controller {
 public:
  // `environment` must outlive the controller. `faults` is a test seam, null in the
  // plug-in.
  explicit Controller(const platform::Environment& environment,
                      detail::LinkFaultHook faults = nullptr);
  // Puts the link back as the module loads it: both channels closed, no status stored,
  // ComCloseAck 0, send_buf cleared. No other thread may be in the controller's calls.
  ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  // Opens the data channel (UDP port 8000) and the reset channel (port 8001) to `host`,
  // a name or a dotted IPv4 address of at most 255 bytes, then sends "keepalive" five
  // times on the data channel, 50 ms apart. 0 when both channels are open (after at
  // least 250 ms), -1 otherwise. Channels of an earlier enable are closed when replaced.
  // Enables from several threads run one after another; a disable during one ends it
  // with -1.
  int32_t enable(const char* host);

  // Closes both channels, also those of an enable under way; later sends do nothing.
  // Returns at once, also when called again. ComCloseAck is 0 during the close, 1 after.
  void disable();

  // Copies the controller status into `out` (31 bytes, owned by the caller) and returns
  // 0 when one was stored less than kStatusFreshMs ago; -1 otherwise (also for a null
  // `out`), leaving `out` untouched. A stale status is marked so in
  // current_response_valid.
  int32_t statusGet(timer_resp_t* out);

  // Sends the fixed 13-byte frame (send_buf) on the data channel; nothing when it is not
  // open.
  void sendOut();

  // Stores a controller status, stamped with the clock, under CriticalSection. Nothing
  // in the module receives a status yet; this is where a receiver would hand it over.
  void storeStatus(const timer_resp_t& status);

 private:
  bool faultAt(detail::LinkFault point) const;

  const platform::Environment& environment_;
  const detail::LinkFaultHook faults_;
  // One enable at a time: a second waits for the first to finish, then replaces its
  // pair. Disable never takes this lock, so that it returns while an enable is under way.
  std::mutex enableLock_;
  // Counts disables, so that an enable can tell one came while it was under way. Raised
  // under channelLock() together with the channels' close.
  std::atomic<uint32_t> disables_{0};
};

}  // namespace tallymark::link

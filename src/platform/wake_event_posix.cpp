#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/wake_event.h"

namespace tallymark::platform {
namespace {

// The word is a 32-bit atomic with the layout of a plain int, as the futex call needs.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

long futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, 0);
}

}  // namespace

// The futex word needs no handle.
void detail::EventHandleTraits::close(void*) noexcept {}

WakeEvent::WakeEvent() = default;

WakeEvent::~WakeEvent() = default;

void WakeEvent::signal() {
  if (signalled_.exchange(1, std::memory_order_release) == 0)
    futex(&signalled_, FUTEX_WAKE_PRIVATE, 1, nullptr);
}

bool WakeEvent::wait(std::chrono::milliseconds timeout) {
  if (signalled_.exchange(0, std::memory_order_acquire) == 1) return true;
  const auto ms = timeout.count() <= 0 ? 0 : timeout.count();
  timespec relative{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // Sleeps only while the word is still 0; a signal in between makes the call return at
  // once. An early return (a signal, EINTR) is simply followed by the look below: the
  // callers wait in loops that look at their work again.
  if (ms > 0) futex(&signalled_, FUTEX_WAIT_PRIVATE, 0, &relative);
  return signalled_.exchange(0, std::memory_order_acquire) == 1;
}

}  // namespace tallymark::platform

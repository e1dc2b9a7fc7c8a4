// A wake-up call for a worker thread that the host's thread can give without ever
// waiting: no lock of the worker's is taken to signal it.
//
// std::condition_variable does not promise that: under MinGW-w64 its notify_one is
// winpthreads' pthread_cond_signal, which enters a critical section and waits on a
// semaphore that a thread entering or leaving its wait holds. An event has no such
// step: Windows sets it in the kernel, Linux wakes a futex.
//
// The event is sticky and automatic: a signal given while nobody waits makes the next
// wait return at once, and each return of wait() takes the signal. So a worker that looks
// at its work and then waits never misses a signal given in between, and no lock needs to
// be held around either side.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/unique_any.h"

namespace tallymark::platform {

namespace detail {
// The Windows event, as a pointer so that this header stays free of system types.
// Linux never holds one.
struct EventHandleTraits {
  using Type = void*;
  static constexpr void* invalid() noexcept { return nullptr; }
  static constexpr bool isValid(void* event) noexcept { return event != nullptr; }
  static void close(void* event) noexcept;
};
}  // namespace detail

class WakeEvent {
 public:
  // May throw std::system_error when the system has no event left (Windows).
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Any thread; never waits, never throws.
  void signal();
  // Waits until signalled or `timeout` has passed, whichever is first; true when it was
  // signalled (the signal is then taken). One thread waits at a time.
  bool wait(std::chrono::milliseconds timeout);

 private:
  std::atomic<uint32_t> signalled_{0};          // the futex word (Linux)
  UniqueAny<detail::EventHandleTraits> event_;  // Windows
};

}  // namespace tallymark::platform

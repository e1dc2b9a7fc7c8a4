#include <windows.h>

#include <system_error>

#include "platform/unique_handle_win32.h"
#include "platform/wake_event.h"

namespace tallymark::platform {

void detail::EventHandleTraits::close(void* event) noexcept {
  HandleTraits::close(event);
}

WakeEvent::WakeEvent() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!event_) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
}

WakeEvent::~WakeEvent() = default;

void WakeEvent::signal() {
  SetEvent(event_.get());
}

bool WakeEvent::wait(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count() <= 0 ? 0 : timeout.count();
  const DWORD limit =
      ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
  return WaitForSingleObject(event_.get(), limit) == WAIT_OBJECT_0;
}

}  // namespace tallymark::platform

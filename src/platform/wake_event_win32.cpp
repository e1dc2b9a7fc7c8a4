#include <windows.h>

#include <system_error>

#include "platform/wake_event.h"

namespace tallymark::platform {

WakeEvent::WakeEvent() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (handle_ == nullptr)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
}

WakeEvent::~WakeEvent() {
  CloseHandle(handle_);
}

void WakeEvent::signal() {
  SetEvent(handle_);
}

bool WakeEvent::wait(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count() <= 0 ? 0 : timeout.count();
  const DWORD limit =
      ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
  return WaitForSingleObject(handle_, limit) == WAIT_OBJECT_0;
}

}  // namespace tallymark::platform

#include <windows.h>

#include "platform/clock.h"

namespace tallymark::platform {

uint32_t monotonicMillis() {
  return GetTickCount();
}

}  // namespace tallymark::platform

#include "platform/test_reset.h"

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/local_time.h"
#ifdef _WIN32
#include "platform/local_time_win32.h"
#endif

namespace tallymark::platform {

void resetForTests() {
  setMessageHook(nullptr);
  setFileFaultHook(nullptr);
  setLocalClock(nullptr);
#ifdef _WIN32
  forceLcidLocaleCalls(false);
#endif
}

}  // namespace tallymark::platform

#include "platform/test_reset.h"

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/local_time.h"

namespace tallymark::platform {

void resetForTests() {
  setMessageHook(nullptr);
  setFileFaultHook(nullptr);
  setLocalClock(nullptr);
}

}  // namespace tallymark::platform

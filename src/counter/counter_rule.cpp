#include "counter/counter_rule.h"

#include "counter/counter_window.h"
#include "plugin/host.h"

namespace counter {

void counterTick(DAZADA_RUVAZIDU* window) {
  if (window == nullptr || GetDRO == nullptr || SetDRO == nullptr || GetLED == nullptr) return;
  DAZADA_RUVAZIDU& w = *window;

  w.lblCountVal.setNumber(countFromDro(GetDRO(kDroCount)));
  w.lblTotalCount.setNumber(countFromDro(GetDRO(kDroTotal)));
  w.dtValue2 = GetDRO(kDroLastReset);

  if (w.ResetCounter) {
    w.ResetCounter = false;
    SetDRO(kDroCount, 0.0);
    SetDRO(kDroLastReset, w.dtValue);
  }

  if (GetLED(kLedRunning)) {
    // NaN compares false, so a DRO 22 that is not a number does not qualify a run.
    if (GetDRO(kDroRunQualifier) > 0.0 && !w.StartOnTrigger) {
      w.StartOnCheck = true;
      w.StartOnTrigger = true;
    }
    return;
  }

  if (w.StartOnCheck) {
    int32_t count = nextCount(countFromDro(GetDRO(kDroCount)));
    int32_t total = nextCount(countFromDro(GetDRO(kDroTotal)));
    SetDRO(kDroCount, count);
    SetDRO(kDroTotal, total);
  }
  w.StartOnCheck = false;
  w.StartOnTrigger = false;
}

}  // namespace counter

// The counter window: the operator's view of the count, and the holder of the counter
// rule's state. One instance, created at PostInitControl, lives until the module ends.
// Every member is used on the host's user-interface thread only.
#pragma once

#include "counter/label.h"

class DAZADA_RUVAZIDU {
 public:
  DAZADA_RUVAZIDU();
  virtual ~DAZADA_RUVAZIDU();
  DAZADA_RUVAZIDU(const DAZADA_RUVAZIDU&) = delete;
  DAZADA_RUVAZIDU& operator=(const DAZADA_RUVAZIDU&) = delete;

  // Counter state (see counter_rule.h for the meaning of each field).
  bool ResetCounter = false;
  bool StartOnCheck = false;
  bool StartOnTrigger = false;
  double dtValue = 0.0;
  double dtValue2 = 0.0;

  Label lblTotalCount{"00000"};
  Label lblCountVal{"00000"};
};

#include "counter/counter_window.h"

#include <cstdio>

#include "counter/ole_date.h"
#include "platform/dialogs.h"
#include "platform/local_time.h"

namespace counter = tallymark::counter;
namespace platform = tallymark::platform;

DAZADA_RUVAZIDU::DAZADA_RUVAZIDU() : view_(counter::createCounterView(*this)) {}

DAZADA_RUVAZIDU::~DAZADA_RUVAZIDU() = default;

void DAZADA_RUVAZIDU::btnReset_Click() {
  platform::MessageAnswer answer = platform::showMessage(
      kConfirmText, kConfirmCaption, platform::MessageButtons::YesNo, view_->nativeHandle());
  if (answer != platform::MessageAnswer::Yes) return;
  ResetCounter = true;
  dtValue = counter::oleDateFromDateTime(platform::localNow());
}

void DAZADA_RUVAZIDU::timer2_Tick() {
  std::optional<platform::LocalDateTime> when = counter::dateTimeFromOleDate(dtValue2);
  lblLastTimeReset.setText(when ? platform::formatLocalDateTime(*when) : kNoDateText);
}

bool DAZADA_RUVAZIDU::DAZADA_RUVAZIDU_FormClosing() {
  view_->hide();
  return true;
}

void DAZADA_RUVAZIDU::showLastRun(uint32_t milliseconds) {
  // Rounded to tenths in whole numbers, so no locale can turn the point into a comma.
  const uint32_t tenths = milliseconds / 100 + (milliseconds % 100 >= 50 ? 1 : 0);
  char text[40];
  std::snprintf(text, sizeof text, "Last run: %lu.%lu s", static_cast<unsigned long>(tenths / 10),
                static_cast<unsigned long>(tenths % 10));
  lblLastRun.setText(text);
}

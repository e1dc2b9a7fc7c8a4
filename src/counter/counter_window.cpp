#include "counter/counter_window.h"

#include <cstdio>
#include <string>
#include <utility>

#include "counter/ole_date.h"
#include "platform/environment.h"
#include "platform/local_time.h"

namespace counter = tallymark::counter;
namespace platform = tallymark::platform;

DAZADA_RUVAZIDU::Label DAZADA_RUVAZIDU::*const DAZADA_RUVAZIDU::kLabels[] = {
    &DAZADA_RUVAZIDU::label4,           &DAZADA_RUVAZIDU::label5,
    &DAZADA_RUVAZIDU::label6,           &DAZADA_RUVAZIDU::lblLastTimeReset,
    &DAZADA_RUVAZIDU::lblTotalCount,    &DAZADA_RUVAZIDU::lblCountVal,
    &DAZADA_RUVAZIDU::label7,           &DAZADA_RUVAZIDU::label8,
    &DAZADA_RUVAZIDU::lblLastRun,       &DAZADA_RUVAZIDU::lblRequired,
    &DAZADA_RUVAZIDU::lblBatchComplete, &DAZADA_RUVAZIDU::lblStatus,
};

DAZADA_RUVAZIDU::DAZADA_RUVAZIDU(const platform::Environment& environment)
    : environment_(environment) {
  // A text that changes while no view is attached reaches the next view in attachView.
  for (Label DAZADA_RUVAZIDU::*member : kLabels) {
    Label& label = this->*member;
    label.bind([this, &label](const std::string&) {
      if (view_ != nullptr) view_->showLabel(label);
    });
  }
}

DAZADA_RUVAZIDU::~DAZADA_RUVAZIDU() = default;

void DAZADA_RUVAZIDU::attachView(std::unique_ptr<CounterView> view) {
  view_ = std::move(view);
  if (view_ == nullptr) return;
  for (Label DAZADA_RUVAZIDU::*member : kLabels) view_->showLabel(this->*member);
}

void DAZADA_RUVAZIDU::showAndFocus() {
  if (view_ != nullptr) view_->showAndFocus();
}

bool DAZADA_RUVAZIDU::visible() const {
  return view_ != nullptr && view_->visible();
}

bool DAZADA_RUVAZIDU::focused() const {
  return view_ != nullptr && view_->focused();
}

void DAZADA_RUVAZIDU::btnReset_Click() {
  void* owner = view_ != nullptr ? view_->nativeHandle() : nullptr;
  platform::MessageAnswer answer = environment_.showMessage(kConfirmText, kConfirmCaption,
                                                            platform::MessageButtons::YesNo, owner);
  if (answer != platform::MessageAnswer::Yes) return;
  ResetCounter = true;
  dtValue = counter::oleDateFromDateTime(environment_.localNow());
}

void DAZADA_RUVAZIDU::timer2_Tick() {
  std::optional<platform::LocalDateTime> when = counter::dateTimeFromOleDate(dtValue2);
  lblLastTimeReset.setText(when ? platform::formatLocalDateTime(*when) : kNoDateText);
}

bool DAZADA_RUVAZIDU::DAZADA_RUVAZIDU_FormClosing() {
  if (view_ != nullptr) view_->hide();
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

void DAZADA_RUVAZIDU::updateBatch(const counter::BatchRule& rule, int32_t count) {
  shownTarget_ = rule.target();
  shownCount_ = count;
  shownComplete_ = rule.complete();
  if (!rule.on()) {
    lblRequired.setText("");
    lblBatchComplete.setText("");
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Required: %ld  Remaining: %ld",
                static_cast<long>(rule.target()), static_cast<long>(rule.remaining(count)));
  lblRequired.setText(text);
  lblBatchComplete.setText(rule.complete() ? kBatchCompleteText : "");
}

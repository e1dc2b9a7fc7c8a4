#include "plugin/required_parts.h"

#include <cstdint>

#include "counter/counter_window.h"
#include "platform/ansi_text.h"
#include "plugin/host.h"
#include "plugin/mg.h"
#include "plugin/plugin.h"
#include "plugin/run_record.h"
#include "plugin/state.h"

namespace tallymark::plugin {

namespace {

using RequiredParts = State::RequiredParts;

void setBatchLed(short led, bool lit) {
  if (led != 0 && SetLED != nullptr) SetLED(led, lit);
}

}  // namespace

void configureRequiredParts(int32_t requiredParts, int32_t led, const std::string& code) {
  RequiredParts& s = state().requiredParts;
  // The LED this plug-in lit belongs to the batch it no longer follows.
  if (s.rule.on() && s.rule.complete() && (requiredParts <= 0 || led != s.led)) {
    setBatchLed(s.led, false);
  }
  s.rule.configure(requiredParts);
  s.led = led > 0 && led <= 32767 ? static_cast<short>(led) : 0;
  s.code = platform::toAnsiCodePage(code);
  s.on = s.rule.on();
  s.seenCount = RequiredParts::kNoCountSeen;
  if (MG::dazada_ruvaziduDlg != nullptr && !s.on) {
    MG::dazada_ruvaziduDlg->showBatch(s.rule, 0);
  }
}

void followRequiredPartsTick(const counter::TickOutcome& outcome) {
  if (!outcome.ran) return;
  RequiredParts& s = state().requiredParts;
  s.seenCount = outcome.count;
  const counter::BatchStep step = s.rule.follow(outcome);
  if (step.setLed) setBatchLed(s.led, step.ledLit);
  if (step.completed) {
    if (!s.code.empty() && Code != nullptr) Code(s.code.c_str());
    recordBatchComplete(outcome);
  }
  if (MG::dazada_ruvaziduDlg != nullptr) MG::dazada_ruvaziduDlg->showBatch(s.rule, outcome.count);
}

const counter::BatchRule& batchRule() {
  return state().requiredParts.rule;
}

}  // namespace tallymark::plugin

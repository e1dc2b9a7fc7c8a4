#include "plugin/state.h"

#include <atomic>
#include <chrono>
#include <utility>

#include "mtconnect/adapter.h"

namespace tallymark::plugin {
// Constant-initialised: there is no order of static initialisation to get wrong.
std::atomic<State*> detail::currentState{nullptr};

State& detail::makeFirstState() {
  State* fresh = new State(platform::Environment{});
  State* expected = nullptr;
  if (currentState.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
    return *fresh;
  }
  // Another thread made it first; ours has started nothing yet.
  delete fresh;
  return *expected;
}

State::State(platform::Environment env) : environment(std::move(env)) {}

State::~State() {
  stopRunLog();
  delete monitoringAdapter;  // stops it
}

void State::stopRunLog() {
  if (runLogWriter == nullptr) return;
  runLogWriter->stop(std::chrono::milliseconds(900));
  delete runLogWriter;
  runLogWriter = nullptr;
}

void detail::replaceState(platform::Environment environment) {
  delete currentState.exchange(nullptr);
  currentState.store(new State(std::move(environment)), std::memory_order_release);
}

}  // namespace tallymark::plugin

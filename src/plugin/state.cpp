#include "plugin/state.h"

#include <atomic>
#include <chrono>
#include <utility>

#include "mtconnect/adapter.h"

namespace tallymark::plugin {
namespace {
// Made by the first call from any thread (the controller exports run on an outside
// program's threads, perhaps before the host's first call).
std::atomic<State*>& slot() {
  static std::atomic<State*> current{new State(platform::Environment{})};
  return current;
}
}  // namespace

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

State& state() {
  return *slot().load(std::memory_order_acquire);
}

void detail::replaceState(platform::Environment environment) {
  delete slot().exchange(nullptr);
  slot().store(new State(std::move(environment)), std::memory_order_release);
}

}  // namespace tallymark::plugin

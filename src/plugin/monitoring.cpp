#include "plugin/monitoring.h"

#include <cstdio>
#include <new>

#include "counter/counter_rule.h"
#include "counter/counter_window.h"
#include "counter/ole_date.h"
#include "diag/console.h"
#include "mtconnect/adapter.h"
#include "platform/local_time.h"
#include "plugin/device.h"
#include "plugin/host.h"
#include "plugin/mg.h"
#include "plugin/operator_status.h"
#include "plugin/plugin.h"
#include "plugin/required_parts.h"
#include "plugin/state.h"

namespace tallymark::plugin {

namespace {

// The console row of the adapter's problems, below the diagnostic dump.
constexpr int kConsoleRow = 10;
// While the port cannot be bound the tick tries again this often: the program holding
// it may go away.
constexpr uint32_t kRetryStartMs = 5000;

MonitoringState& monitoring() {
  return state().monitoring;
}

uint32_t now() {
  return state().environment.monotonicNow();
}

void printOnConsole(const char* text) {
  if (MyDevice == nullptr || MyDevice->console == nullptr) return;
  char line[256];
  std::snprintf(line, sizeof line, "MTConnect: %s", text);
  MyDevice->console->ConsolePrint(0, kConsoleRow, line);
}

}  // namespace

void configureMonitoring(int32_t port, const std::string& address) {
  monitoring().port = port;
  monitoring().address = address;
}

namespace {

void showMonitoringStatus(const char* text) {
  showStatus(counter::StatusSource::Monitoring, text);
}

// Starts the adapter; on failure the console and the status line say so and the tick
// tries again.
void tryStart(uint32_t address) {
  MonitoringState& m = monitoring();
  if (state().monitoringAdapter == nullptr) {
    mtconnect::Adapter::Options options;
    if (const auto& hook = state().environment.whileLocked) {
      options.whileLocked = [hook] { hook("MTConnect"); };
    }
    state().monitoringAdapter = new (std::nothrow) mtconnect::Adapter(options);
  }
  if (state().monitoringAdapter != nullptr &&
      state().monitoringAdapter->start(address, static_cast<uint16_t>(m.port))) {
    m.retrying = false;
    showMonitoringStatus("");
    return;
  }
  m.retrying = state().monitoringAdapter != nullptr;
  m.triedAtMs = now();
  if (!m.failureShown) printOnConsole("the adapter cannot listen on MTConnectPort");
  m.failureShown = true;
  char text[96];
  if (address == 0) {
    std::snprintf(text, sizeof text, "MTConnect: port %d is in use by another program",
                  static_cast<int>(m.port));
  } else {
    std::snprintf(text, sizeof text, "MTConnect: cannot listen on %s port %d", m.address.c_str(),
                  static_cast<int>(m.port));
  }
  showMonitoringStatus(text);
}

}  // namespace

void startMonitoring() {
  MonitoringState& m = monitoring();
  if (m.port <= 0 || m.port > 65535) return;
  if (state().monitoringAdapter != nullptr && state().monitoringAdapter->running()) return;
  uint32_t address = 0;
  if (!mtconnect::parseListenAddress(m.address, address)) {
    printOnConsole("MTConnectAddress is no IPv4 address; the adapter is off");
    showMonitoringStatus("MTConnect: MTConnectAddress is no IPv4 address");
    return;
  }
  m.failureShown = false;
  tryStart(address);
}

std::optional<int64_t> lastResetFromDro(double oleDate) {
  if (oleDate == 0.0) return std::nullopt;
  std::optional<platform::LocalDateTime> local = counter::dateTimeFromOleDate(oleDate);
  int64_t utcMs = 0;
  if (!local || !platform::utcMillisFromLocal(*local, utcMs)) return std::nullopt;
  return utcMs;
}

mtconnect::Observations monitoringFigures(const TickFigures& tick,
                                          std::optional<uint32_t> lastCycleMs,
                                          std::optional<int64_t> lastResetUtcMs) {
  mtconnect::Observations figures;
  figures.available = true;
  if (lastCycleMs) figures.cycleTimeSeconds = *lastCycleMs / 1000.0;
  // Before the counter window exists the rule reads nothing: the figures are not known.
  if (!tick.ran) return figures;
  figures.execution = tick.ledLit ? mtconnect::Execution::Active : mtconnect::Execution::Ready;
  figures.partCount = tick.count;
  figures.totalPartCount = tick.total;
  figures.lastResetUtcMs = lastResetUtcMs;
  return figures;
}

void publishToRunningAdapter(const counter::TickOutcome& outcome) {
  MonitoringState& m = monitoring();
  if (state().monitoringAdapter == nullptr) return;
  if (!state().monitoringAdapter->running()) {
    uint32_t address = 0;
    if (m.retrying && now() - m.triedAtMs >= kRetryStartMs &&
        mtconnect::parseListenAddress(m.address, address)) {
      tryStart(address);
    }
    return;
  }
  TickFigures tick;
  tick.ran = outcome.ran;
  if (tick.ran) {
    tick.ledLit = outcome.ledLit;
    tick.count = outcome.count;
    tick.total = outcome.total;
    tick.lastReset = outcome.lastReset;
    // The clock only where a run starts or is counted.
    if (outcome.runStarted) {
      m.runStartedMs = now();
      m.ledWasLit = true;
    }
    if (outcome.runCounted && m.ledWasLit) m.lastCycleMs = now() - m.runStartedMs;
    if (!outcome.ledLit) m.ledWasLit = false;
    // NaN never equals itself: such a DRO is looked at (and gives nothing) every tick.
    if (tick.lastReset != m.lastResetDro) {
      m.lastResetDro = tick.lastReset;
      m.lastResetUtcMs = lastResetFromDro(tick.lastReset);
    }
  }
  mtconnect::Observations figures = monitoringFigures(tick, m.lastCycleMs, m.lastResetUtcMs);
  const counter::BatchRule& batch = batchRule();
  if (batch.on()) {
    figures.batchItems = true;
    figures.partCountTarget = batch.target();
    if (tick.ran) figures.partCountRemaining = batch.remaining(tick.count);
  }
  state().monitoringAdapter->publish(figures);
}

void stopMonitoring() {
  monitoring().retrying = false;
  showMonitoringStatus("");  // off on purpose: nothing to be told
  if (state().monitoringAdapter != nullptr) state().monitoringAdapter->stop();
}

uint16_t monitoringPort() {
  mtconnect::Adapter* adapter = state().monitoringAdapter;
  return adapter != nullptr && adapter->running() ? adapter->port() : 0;
}

}  // namespace tallymark::plugin

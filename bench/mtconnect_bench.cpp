// The MTConnect adapter's costs, hand-timed so that the program also runs under Wine. In
// one run:
//
//   publish                 the adapter's publish alone: unchanged figures (every quiet
//                           tick) and changed ones (stored, the sender woken)
//   tick                    the Update export with the adapter off, then on with two
//                           agents connected and reading: an unchanged tick, and a pair of
//                           ticks that counts a run
//   delay                   from the Update that counts a run to its line arriving at an
//                           agent on loopback, over kSamples runs spaced like ticks
//                           (p50, p99, max)
//   StopPlug                how long the host waits for the adapter to end
//
// With the allocations the ticks and publishes made, in every thread (goal: 0).
//
// Usage: mtconnect_bench [calls per round]   (default 2,000,000; best of 5 rounds)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "array_host.h"
#include "mtconnect/adapter.h"
#include "platform/socket.h"
#include "plugin/monitoring.h"

namespace {

using namespace tallymark::mtconnect;
namespace platform = tallymark::platform;
using bench::gDros;
using bench::gLeds;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
constexpr int kSamples = 2000;
// A counting tick writes the window's labels: under Wine some 300 us a pair, so the pairs
// are counted apart from the other calls.
constexpr long kCountingPairs = 2000;

Observations figures(int32_t count) {
  Observations values;
  values.available = true;
  values.execution = Execution::Ready;
  values.partCount = count;
  values.totalPartCount = count;
  values.cycleTimeSeconds = 31.5;
  values.lastResetUtcMs = 1796739787000;
  return values;
}

template <typename Call>
double bestNsPerCall(Call call, long count) {
  double best = 1e300;
  for (int r = 0; r < kRounds; ++r) {
    auto start = Clock::now();
    for (long i = 0; i < count; ++i) call(i);
    std::chrono::duration<double, std::nano> took = Clock::now() - start;
    best = std::min(best, took.count() / static_cast<double>(count));
  }
  return best;
}

// An agent that reads every line and notes when each part_count value up to kSamples
// arrived.
class TimingAgent {
 public:
  explicit TimingAgent(uint16_t port)
      : socket_(platform::connectTcp({platform::loopbackAddress(), port})),
        arrivals_(kSamples + 1) {
    if (connected()) reader_ = std::thread([this] { read(); });
  }
  // The reader ends once the adapter answers the end of the stream; then the socket closes.
  ~TimingAgent() {
    platform::shutdownSending(socket_.get());
    if (reader_.joinable()) reader_.join();
  }
  bool connected() const { return socket_.isOpen(); }
  Clock::time_point::rep arrival(int32_t value) { return arrivals_[value].load(); }
  void forget() {
    for (auto& arrival : arrivals_) arrival = 0;
  }

 private:
  // Without allocating: the allocation count covers every thread of the program.
  void read() {
    char buffer[8192];
    size_t held = 0;
    for (;;) {
      long got = platform::receiveSome(socket_.get(), buffer + held, sizeof buffer - held);
      if (got <= 0) return;
      Clock::time_point now = Clock::now();
      held += static_cast<size_t>(got);
      size_t start = 0;
      for (size_t i = 0; i < held; ++i) {
        if (buffer[i] != '\n') continue;
        buffer[i] = '\0';
        const char* key = std::strstr(buffer + start, "|part_count|");
        if (key) {
          long value = std::atol(key + 12);
          if (value > 0 && value <= kSamples) arrivals_[value] = now.time_since_epoch().count();
        }
        start = i + 1;
      }
      std::memmove(buffer, buffer + start, held - start);
      held -= start;
      if (held == sizeof buffer) held = 0;
    }
  }

  platform::Socket socket_;
  std::vector<std::atomic<Clock::time_point::rep>> arrivals_;
  std::thread reader_;
};

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

uint16_t freePort() {
  platform::Socket probe = platform::openTcpListenerOn({platform::loopbackAddress(), 0}, 1);
  return platform::localPort(probe.get());
}

struct TickCosts {
  double unchangedNs = 0;
  double countingPairNs = 0;
  uint64_t allocations = 0;
};

TickCosts measureTicks(long count) {
  TickCosts costs;
  bench::restingFigures();
  gDros[22] = 1;
  Update();
  uint64_t before = bench::allocations();
  costs.unchangedNs = bestNsPerCall([](long) { Update(); }, count);
  costs.countingPairNs = bestNsPerCall(
      [](long) {
        gLeds[804] = true;
        Update();
        gLeds[804] = false;
        Update();
      },
      kCountingPairs);
  costs.allocations = bench::allocations() - before;
  return costs;
}

}  // namespace

int main(int argc, char** argv) {
  long count = argc > 1 ? std::atol(argv[1]) : 2000000;
  if (count <= 0) count = 2000000;
  platform::SocketLibrary sockets;  // past the adapter and the agents
  sockets.start();

  // The adapter alone.
  Adapter adapter;
  if (!adapter.start(platform::loopbackAddress(), 0)) {
    std::printf("the adapter did not start\n");
    return 1;
  }
  const Observations same = figures(0);
  const Observations other = figures(-1);
  uint64_t before = bench::allocations();
  double publishUnchanged = bestNsPerCall([&](long) { adapter.publish(same); }, count);
  double publishChanged =
      bestNsPerCall([&](long i) { adapter.publish(i & 1 ? other : same); }, count / 10);
  uint64_t publishAllocations = bench::allocations() - before;
  adapter.stop();

  // The plug-in's tick, the adapter off (no MTConnectPort), then on with two agents.
  bench::startPlugin();
  const std::string profile =
      (std::filesystem::temp_directory_path() / "tallymark_mtconnect_bench.xml").string();
  std::ofstream(profile) << "<profile><Dazada_Ruvazidu></Dazada_Ruvazidu></profile>";
  SetProName(profile.c_str());
  TickCosts off = measureTicks(count);

  const uint16_t port = freePort();
  std::ofstream(profile) << "<profile><Dazada_Ruvazidu><MTConnectPort>" << port
                         << "</MTConnectPort><MTConnectAddress>127.0.0.1</MTConnectAddress>"
                         << "</Dazada_Ruvazidu></profile>";
  SetProName(profile.c_str());
  PostInitControl();
  if (tallymark::plugin::monitoringPort() != port) {
    std::printf("the plug-in's adapter did not start on port %u\n", port);
    return 1;
  }
  TimingAgent first(port);
  TimingAgent second(port);
  if (!first.connected() || !second.connected()) {
    std::printf("the agents could not connect\n");
    return 1;
  }
  TickCosts on = measureTicks(count);

  // Delays: one counted run at a time, each after the sender has gone back to waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  first.forget();
  gDros[1500] = 0;
  gLeds[804] = false;
  Update();
  std::vector<double> delaysUs;
  for (int32_t value = 1; value <= kSamples; ++value) {
    gLeds[804] = true;
    Update();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    gLeds[804] = false;
    Clock::time_point counted = Clock::now();
    Update();
    while (first.arrival(value) == 0) std::this_thread::yield();
    Clock::time_point arrived{Clock::duration(first.arrival(value))};
    delaysUs.push_back(std::chrono::duration<double, std::micro>(arrived - counted).count());
  }
  Clock::time_point stopping = Clock::now();
  StopPlug();
  double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - stopping).count();

  std::printf("publish              %8.2f ns unchanged  %8.2f ns changed   (%llu allocations)\n",
              publishUnchanged, publishChanged,
              static_cast<unsigned long long>(publishAllocations));
  std::printf(
      "tick, adapter off    %8.2f ns unchanged  %8.2f ns counting pair  (%llu allocations)\n",
      off.unchangedNs, off.countingPairNs, static_cast<unsigned long long>(off.allocations));
  std::printf(
      "tick, on, 2 agents   %8.2f ns unchanged  %8.2f ns counting pair  (%llu allocations)\n",
      on.unchangedNs, on.countingPairNs, static_cast<unsigned long long>(on.allocations));
  std::printf("ratio on/off         %8.2f unchanged     %8.2f counting pair\n",
              on.unchangedNs / off.unchangedNs, on.countingPairNs / off.countingPairNs);
  std::printf("counted run to agent p50 %.0f us  p99 %.0f us  max %.0f us over %d runs\n",
              percentile(delaysUs, 0.5), percentile(delaysUs, 0.99), percentile(delaysUs, 1.0),
              kSamples);
  std::printf("StopPlug with the adapter and 2 agents: %.1f ms\n", stopMs);
  return 0;
}

// The MTConnect adapter's costs, hand-timed so that the program also runs under Wine:
//
//   publish, unchanged      the call every tick makes when no figure changed
//   publish, changed        a call that stores new figures and wakes the sender
//   delay                   from a publish to its line arriving at an agent on loopback,
//                           over kSamples publishes spaced like ticks (p50, p99, max)
//
// Both publish costs with no agent and with two agents connected and reading, and the
// allocations made inside the publishes (goal: 0).
//
// Usage: mtconnect_bench [publishes per round]   (default 2,000,000; best of 5 rounds)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "mtconnect/adapter.h"
#include "platform/socket.h"

namespace {

using namespace tallymark::mtconnect;
namespace platform = tallymark::platform;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
constexpr int kSamples = 2000;

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

// An agent that reads every line and notes when each part_count value arrived.
class TimingAgent {
 public:
  explicit TimingAgent(uint16_t port)
      : socket_(platform::connectTcp({platform::loopbackAddress(), port})),
        arrivals_(kSamples + 1) {
    reader_ = std::thread([this] { read(); });
  }
  ~TimingAgent() {
    platform::shutdownSending(socket_);
    reader_.join();
    platform::closeSocket(socket_);
  }
  bool connected() const { return socket_ != platform::kNoSocket; }
  Clock::time_point::rep arrival(int32_t value) { return arrivals_[value].load(); }

 private:
  // Without allocating: the allocation count covers every thread of the program.
  void read() {
    char buffer[8192];
    size_t held = 0;
    for (;;) {
      long got = platform::receiveSome(socket_, buffer + held, sizeof buffer - held);
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

  platform::SocketHandle socket_;
  std::vector<std::atomic<Clock::time_point::rep>> arrivals_;
  std::thread reader_;
};

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  long count = argc > 1 ? std::atol(argv[1]) : 2000000;
  if (count <= 0) count = 2000000;
  platform::startSockets();

  Adapter adapter;
  if (!adapter.start(platform::loopbackAddress(), 0)) {
    std::printf("the adapter did not start\n");
    return 1;
  }
  const Observations same = figures(0);
  const Observations odd = figures(-1);
  auto unchanged = [&](long) { adapter.publish(same); };
  auto changed = [&](long i) { adapter.publish(i & 1 ? odd : same); };

  uint64_t allocationsBefore = bench::allocations();
  double aloneUnchanged = bestNsPerCall(unchanged, count);
  double aloneChanged = bestNsPerCall(changed, count / 10);
  uint64_t aloneAllocations = bench::allocations() - allocationsBefore;

  TimingAgent first(adapter.port());
  TimingAgent second(adapter.port());
  if (!first.connected() || !second.connected()) {
    std::printf("the agents could not connect\n");
    return 1;
  }
  while (adapter.agentCount() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  allocationsBefore = bench::allocations();
  double agentsUnchanged = bestNsPerCall(unchanged, count);
  uint64_t agentsAllocations = bench::allocations() - allocationsBefore;
  double agentsChanged = bestNsPerCall(changed, count / 10);

  // Delays: one publish at a time, each after the sender has gone back to waiting.
  std::vector<double> delaysUs;
  for (int32_t value = 1; value <= kSamples; ++value) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Clock::time_point published = Clock::now();
    adapter.publish(figures(value));
    while (first.arrival(value) == 0) std::this_thread::yield();
    Clock::time_point arrived{Clock::duration(first.arrival(value))};
    delaysUs.push_back(std::chrono::duration<double, std::micro>(arrived - published).count());
  }
  adapter.stop();

  std::printf("publish, unchanged   %8.2f ns alone  %8.2f ns with 2 agents\n", aloneUnchanged,
              agentsUnchanged);
  std::printf("publish, changed     %8.2f ns alone  %8.2f ns with 2 agents\n", aloneChanged,
              agentsChanged);
  std::printf(
      "allocations          %8llu alone  %8llu with 2 agents, in all the publishes (goal: 0)\n",
      static_cast<unsigned long long>(aloneAllocations),
      static_cast<unsigned long long>(agentsAllocations));
  std::printf("publish to agent     p50 %.0f us  p99 %.0f us  max %.0f us over %d publishes\n",
              percentile(delaysUs, 0.5), percentile(delaysUs, 0.99), percentile(delaysUs, 1.0),
              kSamples);
  platform::releaseSockets();
  return 0;
}

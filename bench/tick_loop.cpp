// A hand-timed version of tick_bench for builds without Google Benchmark (the Windows
// build, run under Wine): the same floor and unchanged tick, timed with steady_clock
// over many ticks, best of several rounds. Prints ns per tick, the ratio and the
// allocations the unchanged ticks made; then the unchanged tick with the batch target
// (RequiredParts) off and on, in alternating rounds; then the counting pair of ticks (a
// lit tick and the tick that counts) without and with the run log.
//
// Usage: tick_loop [ticks per round]   (default 2,000,000; 5 rounds each)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "alloc_counter.h"
#include "array_host.h"
#include "plugin/host.h"
#include "run_log_bench.h"

namespace {

using bench::gDros;
using bench::gLeds;
using bench::restingFigures;
using bench::startPlugin;

volatile double gSink;

// The callbacks an unchanged tick makes, through the same pointers.
void floorTick() {
  double sum = GetDRO(1500) + GetDRO(1501) + GetDRO(1502);
  sum += GetLED(804) ? 1.0 : 0.0;
  gSink = sum;
}

void unchangedTick() {
  Update();
}

// A run that starts and is counted: two ticks.
void countingPair() {
  gDros[22] = 1;
  gLeds[804] = true;
  Update();
  gLeds[804] = false;
  Update();
}

// Names a profile with the batch target on (a batch the resting count has not reached,
// with an LED and a code line) or off; the run log stays off either way.
void batchTarget(bool on) {
  const std::string profile =
      (std::filesystem::temp_directory_path() / "tallymark_bench_batch.xml").string();
  std::ofstream(profile) << "<profile><Dazada_Ruvazidu><RunLog>0</RunLog>"
                         << (on ? "<RequiredParts>100000</RequiredParts>"
                                  "<RequiredPartsLED>1050</RequiredPartsLED>"
                                  "<RequiredPartsCode>M30</RequiredPartsCode>"
                                : "")
                         << "</Dazada_Ruvazidu></profile>";
  SetProName(profile.c_str());
  Update();  // the first tick after SetProName sets the LED and the window's batch texts
}

// Best ns per call over `rounds` rounds of `count` calls.
template <typename Tick>
double bestNsPerTick(Tick tick, long count, int rounds) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) tick();
    std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / static_cast<double>(count));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  long count = argc > 1 ? std::atol(argv[1]) : 2000000;
  if (count <= 0) count = 2000000;
  constexpr int kRounds = 5;

  startPlugin();

  restingFigures();
  Update();  // the labels take the figures once

  double floorNs = bestNsPerTick(floorTick, count, kRounds);
  uint64_t before = bench::allocations();
  double tickNs = bestNsPerTick(unchangedTick, count, kRounds);
  uint64_t allocations = bench::allocations() - before;

  std::printf("floor           %8.2f ns/tick\n", floorNs);
  std::printf("unchanged tick  %8.2f ns/tick\n", tickNs);
  std::printf("ratio           %8.2f (goal: at most 3)\n", tickNs / floorNs);
  std::printf("allocations     %8llu in %ld unchanged ticks (goal: 0)\n",
              static_cast<unsigned long long>(allocations), count * kRounds);

  // Off and on in turns, so that a change of the machine's load hits both alike.
  double offNs = 1e300, onNs = 1e300;
  for (int r = 0; r < kRounds; ++r) {
    batchTarget(false);
    offNs = std::min(offNs, bestNsPerTick(unchangedTick, count, 1));
    batchTarget(true);
    before = bench::allocations();
    onNs = std::min(onNs, bestNsPerTick(unchangedTick, count, 1));
    allocations = bench::allocations() - before;
  }
  batchTarget(false);
  std::printf(
      "unchanged tick, RequiredParts off %8.2f ns, on %8.2f ns: %+.1f%% (goal: within "
      "10%%), %llu allocations on\n",
      offNs, onNs, (onNs / offNs - 1.0) * 100.0, static_cast<unsigned long long>(allocations));

  const long pairs = count / 20 > 0 ? count / 20 : 1;
  const double countingNs = bestNsPerTick(countingPair, pairs, kRounds);
  bench::startRunLog();
  const double countingLogNs = bestNsPerTick(countingPair, pairs, kRounds);
  std::printf("counting pair   %8.0f ns without the run log, %.0f ns with it\n", countingNs,
              countingLogNs);
  return 0;
}

// The update tick, which the host runs ten times a second on its user-interface thread.
//
//   BM_TickFloor      the host callbacks an unchanged tick must make (GetDRO 1500, 1501,
//                     1502, GetLED 804), called through the same function pointers
//   BM_TickUnchanged  the Update export with figures that did not change (the common case)
//   BM_TickCounting   a tick that ends a qualified run and writes both counts
//   ...WithLog        the same two with the run log on (a disk that keeps nothing): the
//                     unchanged tick tests one flag more, the counting pair reads the
//                     clock twice and hands a record to the writer thread
//
// Each reports allocs_per_tick; the unchanged tick must allocate nothing. The ones with
// the log run last: once on, the log stays on.
#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "array_host.h"
#include "plugin/host.h"
#include "run_log_bench.h"

namespace {

using bench::gDros;
using bench::gLeds;
using bench::restingFigures;
using bench::startPlugin;

void reportAllocations(benchmark::State& state, uint64_t before) {
  state.counters["allocs_per_tick"] = benchmark::Counter(
      static_cast<double>(bench::allocations() - before), benchmark::Counter::kAvgIterations);
}

void BM_TickFloor(benchmark::State& state) {
  startPlugin();
  restingFigures();
  uint64_t before = bench::allocations();
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetDRO(1500));
    benchmark::DoNotOptimize(GetDRO(1501));
    benchmark::DoNotOptimize(GetDRO(1502));
    benchmark::DoNotOptimize(GetLED(804));
    benchmark::ClobberMemory();
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_TickFloor);

void tickUnchanged(benchmark::State& state) {
  restingFigures();
  Update();  // the labels take the figures once
  uint64_t before = bench::allocations();
  for (auto _ : state) {
    Update();
    benchmark::ClobberMemory();
  }
  reportAllocations(state, before);
}

void tickCounting(benchmark::State& state) {
  gDros[1500] = 0;
  gDros[1501] = 0;
  gDros[22] = 1;
  uint64_t before = bench::allocations();
  for (auto _ : state) {
    gLeds[804] = true;
    Update();  // arms
    gLeds[804] = false;
    Update();  // counts, and the next iteration's first tick shows the new figures
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  reportAllocations(state, before);
  state.counters["ticks_per_iter"] = 2;
}

void BM_TickUnchanged(benchmark::State& state) {
  startPlugin();
  tickUnchanged(state);
}
BENCHMARK(BM_TickUnchanged);

void BM_TickCounting(benchmark::State& state) {
  startPlugin();
  tickCounting(state);
}
BENCHMARK(BM_TickCounting);

void BM_TickUnchangedWithLog(benchmark::State& state) {
  startPlugin();
  bench::startRunLog();
  tickUnchanged(state);
}
BENCHMARK(BM_TickUnchangedWithLog);

void BM_TickCountingWithLog(benchmark::State& state) {
  startPlugin();
  bench::startRunLog();
  tickCounting(state);
}
BENCHMARK(BM_TickCountingWithLog);

}  // namespace

BENCHMARK_MAIN();

// The command server's per-line work without the sockets: parse_line on its own, and
// the connection's framing + parse loop over a stream of CR LF lines fed in the
// server's receive chunks.
//
// parse_line accepts only the first line of the process (the request slot then stays
// pending), so each case runs in two variants:
//   .../accepted  the slot is emptied before every line with the test reset, and that
//                 reset is INCLUDED in the time; BM_ResetRequest measures it alone
//   .../rejected  the slot is pending, as it is for every line after the first
// Lines: "X12.5Y-3Z0.1" (12 bytes) and "X123.45Y-67.89Z0.125" (20 bytes).
#include <benchmark/benchmark.h>

#include <string>

#include "alloc_counter.h"
#include "server/command_server.h"
#include "server/line_framer.h"
#include "server/protocol.h"

namespace {

const char* const kLines[] = {"X12.5Y-3Z0.1", "X123.45Y-67.89Z0.125"};

void reportPerLine(benchmark::State& state, uint64_t allocationsBefore, int64_t lines) {
  state.SetItemsProcessed(lines);
  state.counters["allocs_per_line"] = benchmark::Counter(
      static_cast<double>(bench::allocations() - allocationsBefore) / static_cast<double>(lines));
  state.counters["ns_per_line"] = benchmark::Counter(
      static_cast<double>(lines), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ResetRequest(benchmark::State& state) {
  for (auto _ : state) tallymark::server::detail::resetRequest();
}
BENCHMARK(BM_ResetRequest);

void BM_ParseLine(benchmark::State& state) {
  const std::string line = kLines[state.range(0)];
  const bool accepted = state.range(1) != 0;
  tallymark::server::detail::resetRequest();
  if (!accepted) parse_line("X0");  // fills the slot for good
  uint64_t before = bench::allocations();
  for (auto _ : state) {
    if (accepted) tallymark::server::detail::resetRequest();
    bool result = parse_line(line);
    if (result != accepted) state.SkipWithError("unexpected parse result");
    benchmark::DoNotOptimize(result);
  }
  reportPerLine(state, before, state.iterations());
  state.SetLabel(std::to_string(line.size()) + (accepted ? " bytes accepted" : " bytes rejected"));
  tallymark::server::detail::resetRequest();
}
BENCHMARK(BM_ParseLine)->ArgsProduct({{0, 1}, {1, 0}});

// A stream of `count` lines, each ended by CR LF, cut into the server's receive chunks.
std::string lineStream(const std::string& line, int count) {
  std::string stream;
  for (int i = 0; i < count; ++i) stream += line + "\r\n";
  return stream;
}

constexpr int kStreamLines = 1000;

// The server's loop for one connection, minus the sockets and replies.
void BM_FrameAndParse(benchmark::State& state) {
  const std::string line = kLines[state.range(0)];
  const bool accepted = state.range(1) != 0;
  const std::string stream = lineStream(line, kStreamLines);
  constexpr size_t kChunk = tallymark::server::CommandServer::kReceiveChunk;
  tallymark::server::detail::resetRequest();
  if (!accepted) parse_line("X0");
  std::string taken;
  int64_t lines = 0;
  uint64_t before = bench::allocations();
  for (auto _ : state) {
    tallymark::server::LineFramer framer;
    for (size_t at = 0; at < stream.size(); at += kChunk) {
      framer.receive(stream.data() + at, std::min(kChunk, stream.size() - at));
      bool overlong = false;
      while (framer.readLine(taken, overlong)) {
        if (accepted) tallymark::server::detail::resetRequest();
        if (parse_line(taken) != accepted) state.SkipWithError("unexpected parse result");
        ++lines;
      }
    }
  }
  if (lines != state.iterations() * kStreamLines) state.SkipWithError("lines lost in framing");
  reportPerLine(state, before, lines);
  state.SetLabel(std::to_string(line.size()) + (accepted ? " bytes accepted" : " bytes rejected"));
  tallymark::server::detail::resetRequest();
}
BENCHMARK(BM_FrameAndParse)->ArgsProduct({{0, 1}, {1, 0}});

// Framing alone, for the split between the two.
void BM_FrameOnly(benchmark::State& state) {
  const std::string stream = lineStream(kLines[state.range(0)], kStreamLines);
  constexpr size_t kChunk = tallymark::server::CommandServer::kReceiveChunk;
  std::string taken;
  int64_t lines = 0;
  uint64_t before = bench::allocations();
  for (auto _ : state) {
    tallymark::server::LineFramer framer;
    for (size_t at = 0; at < stream.size(); at += kChunk) {
      framer.receive(stream.data() + at, std::min(kChunk, stream.size() - at));
      bool overlong = false;
      while (framer.readLine(taken, overlong)) ++lines;
    }
  }
  reportPerLine(state, before, lines);
}
BENCHMARK(BM_FrameOnly)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

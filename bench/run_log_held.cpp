// The unchanged tick while the run log's file is held by another program, against the
// same tick while the file is writable, in one run: holding the file must cost the tick
// nothing (the rows wait beside the log; the writer thread alone meets the refusal).
//
// The phases alternate (writable, held, writable, ...) so that the machine's load falls
// on both alike. Each burst is 100 unchanged ticks, each timed, after a 1 ms sleep, then
// one program run, so that the writer always has rows to place while the ticks run.
// Builds natively and for Windows (run it under Wine: there the file is held by a handle
// that shares reading only, as a spreadsheet holds a CSV).
//
// Usage: run_log_held [bursts per phase] [rounds]   (defaults 200 and 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "array_host.h"
#include "file_holder.h"
#include "plugin/exports.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::gDros;
using bench::gLeds;

constexpr int kTicksPerBurst = 100;

double timedUpdate() {
  const Clock::time_point start = Clock::now();
  Update();
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

void phase(int bursts, std::vector<double>& times) {
  for (int b = 0; b < bursts; ++b) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 0; i < kTicksPerBurst; ++i) times.push_back(timedUpdate());
    gLeds[804] = true;
    Update();
    gLeds[804] = false;
    Update();
    Update();
  }
}

double percentile(std::vector<double> v, double p) {
  const size_t at = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
  std::nth_element(v.begin(), v.begin() + static_cast<long>(at), v.end());
  return v[at];
}

double mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}

size_t rowsIn(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

int main(int argc, char** argv) {
  const int bursts = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 5;
  const auto folder = std::filesystem::temp_directory_path() / "tallymark_run_log_held";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string profile = (folder / "Mill.xml").string();
  const std::string log = (folder / "Mill.runs.csv").string();
  std::ofstream(profile) << "<profile><Dazada_Ruvazidu></Dazada_Ruvazidu></profile>";

  bench::startPlugin();
  bench::restingFigures();
  gDros[22] = 1;
  SetProName(profile.c_str());
  Update();
  std::vector<double> first;
  phase(1, first);  // the log exists from here on
  while (!std::filesystem::exists(log)) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  std::vector<double> writable;
  std::vector<double> held;
  int refusedHolds = 0;
  for (int r = 0; r < rounds; ++r) {
    phase(bursts, writable);
    bench::FileHolder holder(log);
    if (!holder.held()) ++refusedHolds;
    phase(bursts, held);
  }
  StopPlug();  // what the last held phase left beside the log moves at the next start
  SetProName(profile.c_str());
  StopPlug();

  const double ratio50 = percentile(held, 50) / percentile(writable, 50);
  const double ratioMean = mean(held) / mean(writable);
  std::printf("unchanged tick, ns        p50       p99     p99.9      mean   (calls)\n");
  for (auto& [name, v] : {std::pair<const char*, std::vector<double>&>{"log writable", writable},
                          std::pair<const char*, std::vector<double>&>{"log held", held}}) {
    std::printf("  %-16s %9.0f %9.0f %9.0f %9.0f   (%zu)\n", name, percentile(v, 50),
                percentile(v, 99), percentile(v, 99.9), mean(v), v.size());
  }
  std::printf("held / writable: p50 %.3f, mean %.3f (goal: at most 1.10)\n", ratio50, ratioMean);
  const size_t runs = static_cast<size_t>(1 + 2 * bursts * rounds);
  std::printf("rows in the log: %zu of %zu runs (plus the header)%s\n", rowsIn(log) - 1, runs,
              refusedHolds > 0 ? "; the file could not be held in every round" : "");
  std::filesystem::remove_all(folder);
  return 0;
}

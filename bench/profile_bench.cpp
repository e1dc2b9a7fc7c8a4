// Profile Load + Save of generated profiles (200 KB and 2 MB) beside the raw baseline in
// the same run: the same bytes read whole and written back through the same crash-safe
// replaceFileAtomically, so that both sides pay the same flush to the disk.
//
//   BM_LoadSaveVsRaw/<KB>    per iteration both, each timed on its own (counters raw_ms,
//                            profile_ms, ratio):
//                              raw: readWholeFile, then replaceFileAtomically of the bytes
//                              profile: XMLNetProfile::Load, then Save, on the same file
//   BM_ProfileBytes/<KB>     loadFromBytes + saveToBytes in memory (no file, no flush)
//   BM_ProfileParse/<KB>, BM_ProfileWrite/<KB>  its two halves
//
// The files live in a private folder under the system's temporary folder (TMPDIR).
//
// Memory: both sides are measured with memory the process already has. The raw side
// reuses one buffer; the profile side frees about five times the file's size per
// iteration (the text, pugixml's nodes, the saved text), and glibc hands freed memory
// back to the kernel once a few megabytes of it lie free, so at 2 MB every iteration
// would pay for the kernel zeroing fresh pages again, a cost the raw side never sees.
// The process therefore keeps what it frees (mallopt). --return_freed_memory leaves
// glibc's default, to see that cost.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "settings/xml_net_profile.h"

namespace {

namespace platform = tallymark::platform;

// A host-like profile: sections of settings elements with numbers, flags and texts,
// generated until it reaches `bytes`, then put through one Save so that the file on
// the disk is exactly what Save writes back (the benchmark then rewrites equal bytes).
std::string generateProfile(size_t bytes) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<profile>\r\n";
  int section = 0;
  while (xml.size() < bytes) {
    xml += "  <Section" + std::to_string(section) + ">\r\n";
    for (int key = 0; key < 40; ++key) {
      std::string name = "Key" + std::to_string(key);
      std::string value;
      switch (key % 4) {
        case 0:
          value = std::to_string(section * 1000 + key);
          break;
        case 1:
          value = std::to_string((section + key) * 0.125);
          break;
        case 2:
          value = key % 8 == 2 ? "True" : "False";
          break;
        default:
          value = "C:\\Mach\\Macros\\Profile" + std::to_string(section) + "\\m" +
                  std::to_string(key) + ".m1s &amp; text";
          break;
      }
      xml += "    <" + name + ">" + value + "</" + name + ">\r\n";
    }
    xml += "    <Axis><X><Vel>1500.5</Vel><Acc>25</Acc></X><Y><Vel>1200</Vel></Y></Axis>\r\n";
    xml += "  </Section" + std::to_string(section) + ">\r\n";
    ++section;
  }
  xml += "</profile>\r\n";
  XMLNetProfile normaliser("", "Section0", true);
  if (!normaliser.loadFromBytes(xml)) return {};
  return normaliser.saveToBytes();
}

struct Fixture {
  std::string path;
  std::string bytes;
};

const Fixture& fixture(int kilobytes) {
  static std::filesystem::path folder = [] {
    std::filesystem::path f =
        std::filesystem::temp_directory_path() / ("tallymark_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    return f;
  }();
  static std::map<int, Fixture> fixtures;
  auto found = fixtures.find(kilobytes);
  if (found != fixtures.end()) return found->second;
  Fixture made;
  made.path = (folder / ("profile_" + std::to_string(kilobytes) + "k.xml")).string();
  made.bytes = generateProfile(static_cast<size_t>(kilobytes) * 1000);
  std::string error;
  if (!platform::replaceFileAtomically(made.path, made.bytes, error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", made.path.c_str(), error.c_str());
    std::exit(1);
  }
  return fixtures.emplace(kilobytes, made).first->second;
}

void reportBytes(benchmark::State& state, const Fixture& f) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
  state.counters["file_bytes"] = static_cast<double>(f.bytes.size());
}

// Each iteration does both, one after the other, and times each side on its own, so that
// the pair shares the disk's state of the moment: a flush to the disk varies by an order
// of magnitude from one second to the next on a shared machine, and two separately run
// benchmarks would compare two different disks. The reported time is the pair's.
void BM_LoadSaveVsRaw(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  std::string bytes;
  std::string error;
  Clock::duration raw{};
  Clock::duration profile{};
  for (auto _ : state) {
    Clock::time_point t0 = Clock::now();
    if (!platform::readWholeFile(f.path, bytes, error) ||
        !platform::replaceFileAtomically(f.path, bytes, error)) {
      state.SkipWithError(error.c_str());
    }
    Clock::time_point t1 = Clock::now();
    XMLNetProfile p(f.path, "Section0", true);
    if (!p.Load() || !p.Save()) state.SkipWithError("profile load/save failed");
    Clock::time_point t2 = Clock::now();
    raw += t1 - t0;
    profile += t2 - t1;
  }
  reportBytes(state, f);
  auto ms = [&](Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count() /
           static_cast<double>(state.iterations());
  };
  state.counters["raw_ms"] = ms(raw);
  state.counters["profile_ms"] = ms(profile);
  state.counters["ratio"] = ms(profile) / ms(raw);
  XMLNetProfile check(f.path, "Section0", true);
  if (!check.Load() || check.saveToBytes() != f.bytes) state.SkipWithError("file changed");
}

void BM_ProfileBytes(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    XMLNetProfile profile("", "Section0", true);
    if (!profile.loadFromBytes(f.bytes)) state.SkipWithError("profile parse failed");
    std::string saved = profile.saveToBytes();
    benchmark::DoNotOptimize(saved.data());
  }
  reportBytes(state, f);
}

// The two halves of BM_ProfileBytes.
void BM_ProfileParse(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    XMLNetProfile profile("", "Section0", true);
    if (!profile.loadFromBytes(f.bytes)) state.SkipWithError("profile parse failed");
  }
  reportBytes(state, f);
}

void BM_ProfileWrite(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  XMLNetProfile profile("", "Section0", true);
  if (!profile.loadFromBytes(f.bytes)) state.SkipWithError("profile parse failed");
  for (auto _ : state) {
    std::string saved = profile.saveToBytes();
    benchmark::DoNotOptimize(saved.data());
  }
  reportBytes(state, f);
}

void registerAll() {
  for (int kilobytes : {200, 2000}) {
    for (auto* bm : {benchmark::RegisterBenchmark("BM_LoadSaveVsRaw", BM_LoadSaveVsRaw),
                     benchmark::RegisterBenchmark("BM_ProfileBytes", BM_ProfileBytes),
                     benchmark::RegisterBenchmark("BM_ProfileParse", BM_ProfileParse),
                     benchmark::RegisterBenchmark("BM_ProfileWrite", BM_ProfileWrite)}) {
      bm->Arg(kilobytes)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool keepFreedMemory = true;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--return_freed_memory") {
      keepFreedMemory = false;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  if (keepFreedMemory) {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's largest
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
  benchmark::AddCustomContext("freed_memory", keepFreedMemory ? "kept" : "returned");
  // A failure does not wait for an operator: on Linux a box's text goes to stderr.
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(
      std::filesystem::temp_directory_path() / ("tallymark_bench_" + std::to_string(::getpid())),
      ignored);
  return 0;
}

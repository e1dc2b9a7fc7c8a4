// The environment the subsystems are handed, and the plug-in's one state object: an
// empty environment is the system's, a filled member answers instead of it, and a reset
// gives the plug-in a fresh state on the environment it is handed, with what the old one
// started stopped.
#include "plugin/state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_disk.h"
#include "link/link_state.h"
#include "loopback.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "plugin/controller_exports.h"
#include "plugin/exports.h"
#include "process_stats.h"
#include "server/shared_server.h"
#include "settings/test_files.h"

namespace {

namespace platform = tallymark::platform;
using platform::Environment;

// First in this program, so that nothing has made the state yet: threads that ask for it
// at once (the controller calls come on an outside program's threads, perhaps before the
// host's first call) all get the same one.
TEST(PluginStateFirstUse, ThreadsRacingToMakeItAllGetTheSameOne) {
  namespace plugin = tallymark::plugin;
  if (plugin::detail::currentState.load() != nullptr) GTEST_SKIP() << "made before this test";
  constexpr int kThreads = 8;
  std::atomic<int> waiting{0};
  std::vector<plugin::State*> got(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++waiting;
      while (waiting < kThreads) std::this_thread::yield();  // let them go together
      got[i] = &plugin::state();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (plugin::State* state : got) EXPECT_EQ(state, got.front());
  EXPECT_EQ(&plugin::state(), got.front());
}

TEST(Environment, AnEmptyOneIsTheSystems) {
  const Environment& system = platform::systemEnvironment();
  const uint32_t before = platform::monotonicMillis();
  const uint32_t now = system.monotonicNow();
  EXPECT_LT(now - before, 1000u) << "the system's monotonic clock";
  EXPECT_EQ(system.localNow().year, platform::localNow().year);
  EXPECT_EQ(system.zonedNow().local.year, platform::zonedNow().local.year);
  const auto steady = std::chrono::steady_clock::now();
  EXPECT_LT(system.steadyNow() - steady, std::chrono::seconds(1));
  const auto start = std::chrono::steady_clock::now();
  system.sleepTill(start + std::chrono::milliseconds(50));
  // A real sleep; one on Windows may end a little early.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

  TempFolder folder;
  std::string error;
  ASSERT_TRUE(system.replaceFile(folder.file("a.txt"), "new", error)) << error;
  EXPECT_EQ(readFile(folder.file("a.txt")), "new");
  std::unique_ptr<platform::AppendFile> file = system.newAppendFile();
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->open(folder.file("log.csv"), error)) << error;
  ASSERT_TRUE(file->append("x\n", 2, error)) << error;
  file->close();
  EXPECT_EQ(readFile(folder.file("log.csv")), "x\n");
}

TEST(Environment, EachFilledMemberAnswersInsteadOfTheSystem) {
  Environment fake;
  fake.localClock = [] { return platform::LocalDateTime{2001, 2, 3, 4, 5, 6, 7}; };
  fake.zonedClock = [] {
    platform::ZonedDateTime at;
    at.local = platform::LocalDateTime{2002, 1, 1, 0, 0, 0, 0};
    at.utcOffsetMinutes = -300;
    return at;
  };
  fake.monotonicClock = [] { return 0xFFFFFFF0u; };
  const platform::SteadyTime epoch{};
  fake.steadyClock = [epoch] { return epoch + std::chrono::hours(1); };
  std::vector<platform::SteadyTime> slept;
  fake.sleepUntil = [&slept](platform::SteadyTime when) { slept.push_back(when); };
  std::vector<platform::MessageRequest> asked;
  fake.messages = [&asked](const platform::MessageRequest& request) {
    asked.push_back(request);
    return platform::MessageAnswer::Yes;
  };
  auto disk = std::make_shared<FakeDisk>();
  fake.appendFiles = [disk] { return disk->open(); };

  EXPECT_EQ(fake.localNow().year, 2001);
  EXPECT_EQ(fake.localNow().millisecond, 7);
  EXPECT_EQ(fake.zonedNow().utcOffsetMinutes, -300);
  EXPECT_EQ(fake.monotonicNow(), 0xFFFFFFF0u);
  EXPECT_EQ(fake.steadyNow(), epoch + std::chrono::hours(1));
  const auto start = std::chrono::steady_clock::now();
  fake.sleepTill(std::chrono::steady_clock::now() + std::chrono::hours(1));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1)) << "no real sleep";
  EXPECT_EQ(slept.size(), 1u);
  EXPECT_EQ(fake.showMessage("text", "caption", platform::MessageButtons::YesNo, &asked),
            platform::MessageAnswer::Yes);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "text");
  EXPECT_EQ(asked[0].caption, "caption");
  EXPECT_EQ(asked[0].buttons, platform::MessageButtons::YesNo);

  std::string error;
  std::unique_ptr<platform::AppendFile> file = fake.newAppendFile();
  ASSERT_TRUE(file->open("runs.csv", error));
  ASSERT_TRUE(file->append("row\n", 4, error));
  EXPECT_EQ(disk->file("runs.csv"), "row\n") << "the fake disk, not the real one";

  TempFolder folder;
  const std::string target = folder.file("profile.xml");
  writeFile(target, "old");
  fake.fileFaults = [](platform::FileStep step) {
    return step == platform::FileStep::Flush ? std::string("disk gone") : std::string();
  };
  EXPECT_FALSE(fake.replaceFile(target, "new", error));
  EXPECT_EQ(error, "disk gone");
  EXPECT_EQ(readFile(target), "old");
  EXPECT_EQ(folder.entries().size(), 1u) << "the temporary file is removed";
  EXPECT_TRUE(platform::systemEnvironment().replaceFile(target, "new", error))
      << "another environment's faults are not this one's: " << error;
}

// Boxes answered and counted in `count`.
Environment counting(std::atomic<int>& count) {
  Environment environment;
  environment.messages = [&count](const platform::MessageRequest&) {
    ++count;
    return platform::MessageAnswer::Ok;
  };
  return environment;
}

class PluginState : public ::testing::Test {
 protected:
  void TearDown() override { tallymark::plugin::resetForTests(); }

  std::atomic<int> ignored_{0};
  loopback::SocketLibrary sockets_;
  TempFolder folder_;
};

TEST_F(PluginState, AResetHandsTheNewStateItsEnvironmentAndNoOther) {
  std::atomic<int> first{0};
  std::atomic<int> second{0};
  const std::string missing = folder_.file("missing.xml");
  tallymark::plugin::resetForTests(counting(first));
  SetProName(missing.c_str());
  EXPECT_EQ(first.load(), 2) << "the failed load and the failed registration";

  tallymark::plugin::resetForTests(counting(second));
  SetProName(missing.c_str());
  EXPECT_EQ(second.load(), 2);
  EXPECT_EQ(first.load(), 2) << "the old state's environment is gone with it";
}

TEST_F(PluginState, AResetStopsTheCommandServerAndPutsTheLinkBack) {
  tallymark::plugin::resetForTests(counting(ignored_));
  ASSERT_EQ(Cnc_Init_Controller(), 0);
  EXPECT_EQ(tallymark::plugin::state().commandServer.lastStart(),
            tallymark::server::SharedServerStart::Listening);
  EXPECT_TRUE(loopback::TcpClient(tallymark::server::kCommandPort).connected());
  timer_resp_t status;
  std::memset(status.bytes, 7, sizeof status.bytes);
  tallymark::plugin::state().link.storeStatus(status);
  timer_resp_t out{};
  ASSERT_EQ(Cnc_Status_Get(&out), 0);

  tallymark::plugin::resetForTests(counting(ignored_));
  EXPECT_FALSE(loopback::TcpClient(tallymark::server::kCommandPort).connected())
      << "the old state's server is stopped, its port free";
  EXPECT_EQ(tallymark::plugin::state().commandServer.lastStart(),
            tallymark::server::SharedServerStart::None);
  EXPECT_EQ(Cnc_Status_Get(&out), -1) << "no status stored";
  EXPECT_EQ(ComCloseAck, 0);
  EXPECT_EQ(Cnc_Init_Controller(), 0) << "the new state starts its own";
  EXPECT_TRUE(loopback::TcpClient(tallymark::server::kCommandPort).connected());
}

TEST_F(PluginState, AResetEndsTheRunLogsWriterThread) {
  auto disk = std::make_shared<FakeDisk>();
  Environment environment = counting(ignored_);
  environment.appendFiles = [disk] { return disk->open(); };
  tallymark::plugin::resetForTests(environment);
  const size_t threadsBefore = process_stats::threadCount();
  const std::string profile = folder_.file("Mill.xml");
  writeFile(profile, "<profile><Dazada_Ruvazidu><RunLog>1</RunLog></Dazada_Ruvazidu></profile>");
  SetProName(profile.c_str());
  ASSERT_NE(tallymark::plugin::state().runLogWriter, nullptr);

  tallymark::plugin::resetForTests(counting(ignored_));
  EXPECT_EQ(tallymark::plugin::state().runLogWriter, nullptr);
  EXPECT_TRUE(loopback::waitUntil([&] { return process_stats::threadCount() <= threadsBefore; }))
      << "the writer's thread ended with the old state";
  EXPECT_EQ(ignored_.load(), 0) << "the profile was read without a box";
}

}  // namespace

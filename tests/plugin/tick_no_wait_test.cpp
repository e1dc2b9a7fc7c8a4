// The tick never waits for the run log's writer or the MTConnect sender: with both
// threads held inside their locked regions (where a thread can also be preempted for
// any length of time), ticks that hand each of them work still return.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "fake_host.h"
#include "loopback.h"
#include "mtconnect/adapter.h"
#include "platform/socket.h"
#include "plugin/exports.h"
#include "plugin/monitoring.h"
#include "plugin/plugin.h"
#include "plugin/plugin_boxes.h"
#include "plugin/state.h"
#include "runlog/writer.h"
#include "settings/test_files.h"

namespace {

namespace platform = tallymark::platform;

// Where the hooks hold the two threads until the test lets them go.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  bool writerHeld = false;
  bool senderHeld = false;
  int ticks = 0;
};
Gate* gate = nullptr;

void holdAt(bool Gate::*held) {
  std::unique_lock<std::mutex> lock(gate->mutex);
  gate->*held = true;
  gate->changed.notify_all();
  gate->changed.wait(lock, [] { return gate->open; });
}

uint16_t freePort() {
  platform::Socket probe = platform::openTcpListenerOn({platform::loopbackAddress(), 0}, 1);
  return platform::localPort(probe.get());
}

class TickNoWait : public ::testing::Test {
 protected:
  void SetUp() override { gate = &held; }
  void TearDown() override {
    release();
    StopPlug();
  }
  void release() {
    std::lock_guard<std::mutex> lock(held.mutex);
    held.open = true;
    held.changed.notify_all();
  }

  // The gate outlives the plug-in's threads, which the last reset below ends.
  Gate held;
  // Then: a freshly loaded plug-in before the fake host hands it its callbacks.
  struct FreshPlugin {
    FreshPlugin() {
      platform::Environment env;
      env.whileLocked = [](const char* worker) {
        holdAt(std::string(worker) == "run log" ? &Gate::writerHeld : &Gate::senderHeld);
      };
      tallymark::plugin::resetForTests(env);
    }
    // The next test's plug-in holds no thread.
    ~FreshPlugin() { tallymark::plugin::resetForTests(); }
  } fresh;
  loopback::SocketLibrary sockets;
  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
  std::string profile = folder.file("Mill.xml");
};

TEST_F(TickNoWait, AThousandTicksReturnWhileTheWriterAndTheSenderHoldTheirLocks) {
  writeFile(profile,
            "<?xml version=\"1.0\"?>\n<profile>\n<Dazada_Ruvazidu><RunLog>1</RunLog>"
            "<MTConnectPort>" +
                std::to_string(freePort()) +
                "</MTConnectPort><MTConnectAddress>127.0.0.1</MTConnectAddress>"
                "</Dazada_Ruvazidu>\n</profile>\n");
  SetProName(profile.c_str());
  PostInitControl();
  ASSERT_NE(tallymark::plugin::monitoringPort(), 0);
  {
    std::unique_lock<std::mutex> lock(held.mutex);
    ASSERT_TRUE(held.changed.wait_for(lock, std::chrono::minutes(1),
                                      [&] { return held.writerHeld && held.senderHeld; }))
        << "writer held: " << held.writerHeld << ", sender held: " << held.senderHeld;
  }

  // The ticks run on this thread, the host's (under Wine they update the counter
  // window, which belongs to it). Should one wait, a watchdog lets the threads go after
  // two minutes, so that the test fails instead of hanging.
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(held.mutex);
    if (!held.changed.wait_for(lock, std::chrono::minutes(2), [&] { return held.ticks == 1000; })) {
      held.open = true;
      held.changed.notify_all();
    }
  });
  // Runs of three ticks: the rising edge publishes ACTIVE, the qualifier comes on the
  // next tick, the falling edge ends a counted run (a record for the writer, the new
  // part count for the sender).
  for (int i = 0; i < 1000; ++i) {
    host.setDro(22, i % 3 == 0 ? 0 : 1);
    host.setLed(804, i % 3 != 2);
    Update();
    std::lock_guard<std::mutex> lock(held.mutex);
    ++held.ticks;
    held.changed.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(held.mutex);
    EXPECT_FALSE(held.open) << "a tick waited until the watchdog let the threads go";
  }
  watchdog.join();
  EXPECT_EQ(host.dro(1500), 333);
}

}  // namespace

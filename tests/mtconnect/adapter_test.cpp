// The adapter over loopback TCP, against a test agent that speaks SHDR as the MTConnect
// agent does (test_agent.h).
#include "mtconnect/adapter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "mtconnect/test_agent.h"

namespace {

using namespace tallymark::mtconnect;

std::atomic<uint32_t> gClock{1000};
uint32_t testClock() {
  return gClock.load();
}

Observations running(int32_t count, int32_t total) {
  Observations values;
  values.available = true;
  values.execution = Execution::Ready;
  values.partCount = count;
  values.totalPartCount = total;
  values.lastResetUtcMs = 1796739787000;  // 2026-12-08T14:23:07Z
  return values;
}

class AdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gClock = 1000;
    Adapter::Options options;
    options.clock = testClock;
    options.ticksStopAfterMs = 0;  // these tests move the clock for other reasons
    adapter_ = std::make_unique<Adapter>(options);
    uint32_t loopbackOnly = 0;
    ASSERT_TRUE(parseListenAddress("127.0.0.1", loopbackOnly));
    ASSERT_TRUE(adapter_->start(loopbackOnly, 0));
    ASSERT_NE(adapter_->port(), 0);
  }
  void TearDown() override { adapter_->stop(); }

  std::unique_ptr<TestAgent> connect() {
    auto agent = std::make_unique<TestAgent>(adapter_->port());
    EXPECT_TRUE(agent->connected());
    return agent;
  }

  loopback::SocketLibrary sockets_;
  std::unique_ptr<Adapter> adapter_;
};

// The batch items travel through the adapter's snapshot words like the other figures.
TEST_F(AdapterTest, BatchTargetAndRemainingReachTheAgent) {
  Observations values = running(5, 120);
  values.batchItems = true;
  values.partCountTarget = 2147483647;
  values.partCountRemaining = 0;
  adapter_->publish(values);
  auto agent = connect();
  std::string line;
  ASSERT_TRUE(agent->readLine(line));
  ASSERT_TRUE(agent->take(line));
  EXPECT_EQ(agent->lastLineItems, 8u) << line;
  EXPECT_EQ(agent->values["part_count_target"], "2147483647");
  EXPECT_EQ(agent->values["part_count_remaining"], "0");
  values.partCountRemaining = 7;
  adapter_->publish(values);
  ASSERT_TRUE(agent->waitFor("part_count_remaining", "7"));
  EXPECT_EQ(agent->values["part_count_target"], "2147483647");
}

TEST_F(AdapterTest, AgentGetsTheSnapshotThenEachChangeThenUnavailableAtStop) {
  Observations values = running(5, 120);
  adapter_->publish(values);
  auto agent = connect();
  std::string line;
  ASSERT_TRUE(agent->readLine(line));
  ASSERT_TRUE(agent->take(line));
  EXPECT_EQ(agent->lastLineItems, 6u) << line;
  EXPECT_EQ(agent->values["avail"], "AVAILABLE");
  EXPECT_EQ(agent->values["execution"], "READY");
  EXPECT_EQ(agent->values["part_count"], "5");
  EXPECT_EQ(agent->values["total_part_count"], "120");
  EXPECT_EQ(agent->values["cycle_time"], "UNAVAILABLE");
  EXPECT_EQ(agent->values["last_reset"], "2026-12-08T14:23:07.000Z");

  // The LED lights: only execution changes.
  values.execution = Execution::Active;
  adapter_->publish(values);
  ASSERT_TRUE(agent->waitFor("execution", "ACTIVE"));
  EXPECT_EQ(agent->lastLineItems, 1u);

  // A counted run: the figures and its cycle time, in one line.
  values.execution = Execution::Ready;
  values.partCount = 6;
  values.totalPartCount = 121;
  values.cycleTimeSeconds = 42.5;
  adapter_->publish(values);
  ASSERT_TRUE(agent->waitFor("part_count", "6"));
  EXPECT_EQ(agent->lastLineItems, 4u);
  EXPECT_EQ(agent->values["total_part_count"], "121");
  EXPECT_EQ(agent->values["cycle_time"], "42.500");
  EXPECT_EQ(agent->values["execution"], "READY");

  // A reset.
  values.partCount = 0;
  values.lastResetUtcMs = 1796743387250;
  adapter_->publish(values);
  ASSERT_TRUE(agent->waitFor("part_count", "0"));
  EXPECT_TRUE(agent->waitFor("last_reset", "2026-12-08T15:23:07.250Z"));

  // A ping, answered with the heartbeat.
  ASSERT_TRUE(agent->send("* PING\n"));
  std::string pong;
  ASSERT_TRUE(agent->readLine(pong));
  EXPECT_EQ(pong, "* PONG 10000");

  // A tick that changes nothing sends nothing: the next line is the stop's.
  adapter_->publish(values);
  adapter_->stop();
  ASSERT_TRUE(agent->readLine(line));
  ASSERT_TRUE(agent->take(line));
  EXPECT_EQ(agent->lastLineItems, 2u) << line;
  EXPECT_EQ(agent->values["avail"], "UNAVAILABLE");
  EXPECT_EQ(agent->values["execution"], "UNAVAILABLE");
  EXPECT_EQ(agent->values["part_count"], "0");
  EXPECT_TRUE(agent->endsNormally());
}

TEST_F(AdapterTest, BeforeTheFirstPublishEverythingIsUnavailable) {
  auto agent = connect();
  ASSERT_TRUE(agent->waitFor("avail", "UNAVAILABLE"));
  for (const char* key :
       {"execution", "part_count", "total_part_count", "cycle_time", "last_reset"}) {
    EXPECT_EQ(agent->values[key], "UNAVAILABLE") << key;
  }
}

TEST_F(AdapterTest, ASlowAgentHoldsUpNeitherThePublisherNorAnotherAgent) {
  adapter_->publish(running(0, 0));
  auto slow = connect();  // never reads until the end
  slow->shrinkReceiveBuffer();
  auto fast = connect();
  ASSERT_TRUE(fast->waitFor("part_count", "0"));
  // Far more than the slow agent's socket buffers hold (some 300 KB of lines): the fast
  // agent sees every value, in order, while the slow one reads nothing.
  const int32_t kRuns = 5000;
  for (int32_t run = 1; run <= kRuns; ++run) {
    adapter_->publish(running(run, run));
    ASSERT_TRUE(fast->waitFor("part_count", std::to_string(run))) << run;
  }
  EXPECT_EQ(adapter_->agentCount(), 2u);
  // The slow agent catches up to the latest figures, skipping values it was too slow for:
  // its queue kept the newest, not every one.
  ASSERT_TRUE(slow->waitFor("part_count", std::to_string(kRuns)));
  EXPECT_EQ(slow->values["total_part_count"], std::to_string(kRuns));
  EXPECT_LT(slow->lines(), static_cast<size_t>(kRuns));
  ASSERT_TRUE(slow->send("* PING\n"));
  std::string pong;
  ASSERT_TRUE(slow->readLine(pong));
  EXPECT_EQ(pong, "* PONG 10000");
}

TEST_F(AdapterTest, AFifthAgentIsClosedUntilTheQuietestHasBeenSilentAMinute) {
  adapter_->publish(running(1, 1));
  std::vector<std::unique_ptr<TestAgent>> agents;
  for (size_t i = 0; i < Adapter::kMaxAgents; ++i) {
    agents.push_back(connect());
    ASSERT_TRUE(agents.back()->waitFor("part_count", "1"));
  }
  auto refused = connect();
  EXPECT_TRUE(refused->endsNormally());
  EXPECT_EQ(refused->lines(), 0u);

  // A minute on, every agent but the first has been heard from.
  gClock += tallymark::net::kEvictAfterMs;
  for (size_t i = 1; i < agents.size(); ++i) {
    ASSERT_TRUE(agents[i]->send("* PING\n"));
    std::string pong;
    ASSERT_TRUE(agents[i]->readLine(pong));
    EXPECT_EQ(pong, "* PONG 10000");
  }
  auto newcomer = connect();
  ASSERT_TRUE(newcomer->waitFor("part_count", "1"));
  EXPECT_TRUE(agents[0]->endsNormally());
  EXPECT_EQ(adapter_->agentCount(), Adapter::kMaxAgents);

  // The others are served as before.
  adapter_->publish(running(2, 2));
  for (size_t i = 1; i < agents.size(); ++i) EXPECT_TRUE(agents[i]->waitFor("part_count", "2"));
  EXPECT_TRUE(newcomer->waitFor("part_count", "2"));
}

TEST_F(AdapterTest, AnAgentWhosePingsStopIsClosed) {
  auto agent = connect();
  ASSERT_TRUE(agent->send("* PING\n"));
  std::string line;
  ASSERT_TRUE(agent->readLine(line));  // the snapshot
  ASSERT_TRUE(agent->readLine(line));
  EXPECT_EQ(line, "* PONG 10000");
  auto silentNonPinger = connect();
  ASSERT_TRUE(silentNonPinger->waitFor("avail", "UNAVAILABLE"));

  gClock += 2 * Adapter::kHeartbeatMs;
  EXPECT_TRUE(agent->endsNormally());
  // An agent that never pinged relies on its own time-out and keepalive: it stays.
  adapter_->publish(running(3, 3));
  EXPECT_TRUE(silentNonPinger->waitFor("part_count", "3"));
}

TEST_F(AdapterTest, GarbageAndAMegabyteWithoutLineEndAreIgnored) {
  adapter_->publish(running(7, 7));
  auto noisy = connect();
  auto other = connect();
  ASSERT_TRUE(noisy->waitFor("part_count", "7"));
  ASSERT_TRUE(other->waitFor("part_count", "7"));

  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xff));
  garbage += "\n* PONG 1\n2026-01-01T00:00:00.000Z|part_count|99\n* PING extra\n";
  ASSERT_TRUE(noisy->send(garbage));
  ASSERT_TRUE(noisy->send(std::string(1 << 20, 'x')));
  adapter_->publish(running(8, 8));
  EXPECT_TRUE(other->waitFor("part_count", "8"));

  // The megabyte is one overlong line; after its end the agent is heard again.
  ASSERT_TRUE(noisy->send("\n* PING\n"));
  ASSERT_TRUE(noisy->waitFor("part_count", "8"));
  std::string pong;
  ASSERT_TRUE(noisy->readLine(pong));
  EXPECT_EQ(pong, "* PONG 10000");
  EXPECT_TRUE(noisy->commands.empty());
  EXPECT_EQ(adapter_->agentCount(), 2u);
}

// An adapter on loopback with the test clock and `options` otherwise.
std::unique_ptr<Adapter> startedAdapter(Adapter::Options options) {
  gClock = 1000;
  options.clock = testClock;
  auto adapter = std::make_unique<Adapter>(options);
  uint32_t loopbackOnly = 0;
  EXPECT_TRUE(parseListenAddress("127.0.0.1", loopbackOnly));
  EXPECT_TRUE(adapter->start(loopbackOnly, 0));
  return adapter;
}

TEST(AdapterTicks, AFrozenHostIsReportedUnavailableAndItsFiguresComeBackWithTheTicks) {
  loopback::SocketLibrary sockets;
  auto adapter = startedAdapter({});
  Observations values = running(5, 120);
  values.execution = Execution::Active;
  adapter->publish(values);
  TestAgent agent(adapter->port());
  ASSERT_TRUE(agent.waitFor("execution", "ACTIVE"));

  // Four seconds without a tick are nothing yet; the next tick starts the count again.
  gClock += 4000;
  adapter->publish(values);
  gClock += 4000;
  adapter->publish(running(6, 121));
  ASSERT_TRUE(agent.waitFor("part_count", "6"));
  EXPECT_EQ(agent.values["avail"], "AVAILABLE");
  adapter->publish(values);
  ASSERT_TRUE(agent.waitFor("part_count", "5"));

  // The host freezes: six seconds without a tick.
  gClock += 6000;
  ASSERT_TRUE(agent.waitFor("avail", "UNAVAILABLE"));
  EXPECT_EQ(agent.lastLineItems, 2u);
  EXPECT_EQ(agent.values["execution"], "UNAVAILABLE");
  EXPECT_EQ(agent.values["part_count"], "5");
  EXPECT_EQ(agent.values["total_part_count"], "120");
  // The adapter itself is alive.
  ASSERT_TRUE(agent.send("* PING\n"));
  std::string pong;
  ASSERT_TRUE(agent.readLine(pong));
  EXPECT_EQ(pong, "* PONG 10000");
  // An agent that comes now learns the same.
  TestAgent newcomer(adapter->port());
  ASSERT_TRUE(newcomer.waitFor("part_count", "5"));
  EXPECT_EQ(newcomer.values["avail"], "UNAVAILABLE");
  EXPECT_EQ(newcomer.values["execution"], "UNAVAILABLE");

  // The ticks come back with the very figures the host had.
  adapter->publish(values);
  ASSERT_TRUE(agent.waitFor("avail", "AVAILABLE"));
  EXPECT_EQ(agent.lastLineItems, 2u);
  EXPECT_EQ(agent.values["execution"], "ACTIVE");
  ASSERT_TRUE(newcomer.waitFor("execution", "ACTIVE"));
  adapter->stop();
}

// Publishes until `slow`, which never reads, has a line in flight: far more than its
// socket buffers hold, each value seen by `fast` before the next.
void fillSlowAgent(Adapter& adapter, TestAgent& fast) {
  for (int32_t run = 1; run <= 5000; ++run) {
    adapter.publish(running(run, run));
    ASSERT_TRUE(fast.waitFor("part_count", std::to_string(run))) << run;
  }
}

TEST(AdapterStop, ASlowAgentGetsTheRestOfItsLineThenUnavailable) {
  loopback::SocketLibrary sockets;
  Adapter::Options options;
  options.stopLimitMs = loopback::kPatienceMs;  // the agent reads long before
  auto adapter = startedAdapter(options);
  adapter->publish(running(0, 0));
  TestAgent slow(adapter->port());
  slow.shrinkReceiveBuffer();
  TestAgent fast(adapter->port());
  ASSERT_TRUE(fast.waitFor("part_count", "0"));
  fillSlowAgent(*adapter, fast);

  std::thread stopper([&] { adapter->stop(); });
  // Only orders the events: the stop has begun with the agent's buffers full. Whenever
  // the agent starts reading, within the limit, its last line must reach it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(slow.waitFor("avail", "UNAVAILABLE"));
  EXPECT_EQ(slow.values["execution"], "UNAVAILABLE");
  EXPECT_EQ(slow.values["part_count"], "5000");
  EXPECT_TRUE(slow.endsNormally());
  EXPECT_TRUE(fast.waitFor("avail", "UNAVAILABLE"));
  EXPECT_TRUE(fast.endsNormally());
  stopper.join();
}

TEST(AdapterStop, AnAgentThatNeverReadsIsClosedAtTheStopLimit) {
  loopback::SocketLibrary sockets;
  Adapter::Options options;
  options.stopLimitMs = 50;
  auto adapter = startedAdapter(options);
  adapter->publish(running(0, 0));
  TestAgent slow(adapter->port());
  slow.shrinkReceiveBuffer();
  TestAgent fast(adapter->port());
  ASSERT_TRUE(fast.waitFor("part_count", "0"));
  fillSlowAgent(*adapter, fast);
  adapter->stop();  // returns although the slow agent has read nothing
  EXPECT_FALSE(adapter->running());
  EXPECT_TRUE(fast.waitFor("avail", "UNAVAILABLE"));
  EXPECT_TRUE(slow.endsNormally());
}

TEST(AdapterLifecycle, StartsOncePerStopAndNotOnAPortInUse) {
  loopback::SocketLibrary sockets;
  Adapter first;
  ASSERT_TRUE(first.start(0, 0));
  EXPECT_FALSE(first.start(0, 0));
  Adapter second;
  EXPECT_FALSE(second.start(0, first.port()));
  EXPECT_FALSE(second.running());
  first.stop();
  first.stop();
  EXPECT_TRUE(second.start(0, 0));
  // Publishing around a stopped adapter is harmless.
  first.publish(running(1, 1));
  second.stop();
  second.publish(running(2, 2));
}

}  // namespace

// The network a shop floor puts on the plug-in, from a process of its own (as it comes
// from other machines): 16 clients each sending 10 command lines a second to the command
// server, and 4 MTConnect agents reading the adapter and pinging it. For
// `update_latency --shop`, which scripts/bench starts first.
//
// Usage: shop_clients <command port> <agent port> [seconds, default 600]
// Each peer connects (retrying until it is served), works until its connection ends, and
// then stops; the program ends when all have stopped or the time is up.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace platform = tallymark::platform;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 16;
constexpr int kAgents = 4;
constexpr auto kLineGap = std::chrono::milliseconds(100);  // 10 lines a second
constexpr auto kPingGap = std::chrono::seconds(10);

std::atomic<bool> gStop{false};
std::atomic<long> gLines{0};
std::atomic<long> gAgentBytes{0};

platform::Socket connectServed(uint16_t port) {
  while (!gStop) {
    platform::Socket s = platform::connectTcp({platform::loopbackAddress(), port});
    if (s) return s;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return platform::Socket();
}

// Drains what has arrived; false when the connection has ended.
bool drain(platform::SocketHandle s, long* counted) {
  char chunk[2048];
  while (platform::waitReadable(s, 0) == platform::WaitResult::Ready) {
    long n = platform::receiveSome(s, chunk, sizeof chunk);
    if (n <= 0) return false;
    if (counted) *counted += n;
  }
  return true;
}

void client(uint16_t port, int index) {
  platform::Socket connection = connectServed(port);
  if (!connection) return;
  platform::SocketHandle s = connection.get();
  static const char kLine[] = "X1.5Y-2Z3\r\n";
  // Spread over the tenth of a second, as independent machines would be.
  Clock::time_point next = Clock::now() + kLineGap * index / kClients;
  while (!gStop) {
    std::this_thread::sleep_until(next);
    next += kLineGap;
    if (!platform::sendAll(s, kLine, sizeof kLine - 1) || !drain(s, nullptr)) break;
    ++gLines;
  }
}

void agent(uint16_t port) {
  platform::Socket connection = connectServed(port);
  if (!connection) return;
  platform::SocketHandle s = connection.get();
  static const char kPing[] = "* PING\n";
  Clock::time_point ping = Clock::now();
  long bytes = 0;
  while (!gStop) {
    if (Clock::now() >= ping) {
      if (!platform::sendAll(s, kPing, sizeof kPing - 1)) break;
      ping += kPingGap;
    }
    platform::WaitResult wait = platform::waitReadable(s, 100);
    if (wait == platform::WaitResult::Failed) break;
    if (wait == platform::WaitResult::Ready && !drain(s, &bytes)) break;
  }
  gAgentBytes += bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: shop_clients <command port> <agent port> [seconds]\n");
    return 2;
  }
  const auto commandPort = static_cast<uint16_t>(std::atoi(argv[1]));
  const auto agentPort = static_cast<uint16_t>(std::atoi(argv[2]));
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 600;
  platform::SocketLibrary sockets;
  sockets.start();
  std::vector<std::thread> peers;
  for (int i = 0; i < kClients; ++i) peers.emplace_back(client, commandPort, i);
  for (int i = 0; i < kAgents; ++i) peers.emplace_back(agent, agentPort);
  std::thread timer([seconds] {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    while (!gStop && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gStop = true;
  });
  for (std::thread& peer : peers) peer.join();
  gStop = true;
  timer.join();
  std::printf("shop_clients: %ld lines sent, %ld bytes read by the agents\n", gLines.load(),
              gAgentBytes.load());
  return 0;
}

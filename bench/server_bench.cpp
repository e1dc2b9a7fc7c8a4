// The command server on loopback beside a minimal line echo in the same run.
//
//   BM_CommandServer/<clients>  the real CommandServer; the request slot is filled first,
//                               so every line is rejected and answered "#Invalid.\r\n"
//   BM_LineEcho/<clients>       a line echo with the server's threading model: a listener
//                               thread and one thread per connection that waits, receives
//                               chunks of the same size and answers each CR-ended line with
//                               the same 11 bytes, all replies of one receive in one send
//
// 1,000,000 lines in all, "X12.5Y-3Z0.1\r\n", split evenly over the clients. Each client
// pipelines its lines from one thread and reads every reply on another; a run counts as
// done only when every reply byte has arrived and matched.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/socket.h"
#include "server/command_server.h"
#include "server/protocol.h"

namespace {

namespace platform = tallymark::platform;

constexpr int64_t kTotalLines = 1000000;
constexpr char kLine[] = "X12.5Y-3Z0.1\r\n";
constexpr size_t kLineSize = sizeof kLine - 1;
constexpr int kStopPollMs = 100;

class LineEcho {
 public:
  bool start() {
    listener_ = platform::openTcpListener(0, tallymark::server::CommandServer::kBacklog);
    if (!listener_) return false;
    port_ = platform::localPort(listener_.get());
    listenerThread_ = std::thread([this] { listen(); });
    return true;
  }

  void stop() {
    stopping_ = true;
    listenerThread_.join();
    listener_.close();
    for (auto& t : connections_) t.join();
  }

  uint16_t port() const { return port_; }

 private:
  void listen() {
    while (!stopping_) {
      if (platform::waitReadable(listener_.get(), kStopPollMs) != platform::WaitResult::Ready)
        continue;
      platform::Socket accepted = platform::acceptConnection(listener_.get());
      if (!accepted) continue;
      connections_.emplace_back(
          [this, connection = std::move(accepted)]() mutable { serve(std::move(connection)); });
    }
  }

  void serve(platform::Socket connection) {
    platform::SocketHandle socket = connection.get();
    char chunk[tallymark::server::CommandServer::kReceiveChunk];
    std::string replies;
    while (!stopping_) {
      platform::WaitResult wait = platform::waitReadable(socket, kStopPollMs);
      if (wait == platform::WaitResult::TimedOut) continue;
      long got = wait == platform::WaitResult::Ready
                     ? platform::receiveSome(socket, chunk, sizeof chunk)
                     : -1;
      if (got <= 0) break;
      replies.clear();
      for (long i = 0; i < got; ++i) {
        if (chunk[i] == '\r')
          replies.append(tallymark::server::kInvalidReply, tallymark::server::kInvalidReplySize);
      }
      if (!replies.empty() && !platform::sendAll(socket, replies.data(), replies.size())) break;
    }
  }

  platform::Socket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread listenerThread_;
  std::vector<std::thread> connections_;  // touched by the listener thread only until stop
};

// One client: sends `lines` lines from a thread of its own while this thread reads and
// checks every reply. `greeting` bytes come first and are checked too. True when all
// replies arrived intact.
bool runClient(platform::Socket connection, int64_t lines, const std::string& greeting) {
  if (!connection) return false;
  platform::SocketHandle socket = connection.get();
  platform::setSocketTimeouts(socket, 10000, 10000);

  std::thread sender([socket, lines] {
    std::string block;
    for (int i = 0; i < 4096; ++i) block += kLine;
    int64_t left = lines;
    while (left > 0) {
      int64_t now = std::min<int64_t>(left, 4096);
      if (!platform::sendAll(socket, block.data(), static_cast<size_t>(now) * kLineSize)) return;
      left -= now;
    }
  });

  const std::string expectedHead = greeting;
  const size_t total =
      greeting.size() + static_cast<size_t>(lines) * tallymark::server::kInvalidReplySize;
  size_t received = 0;
  bool intact = true;
  char buffer[65536];
  while (received < total) {
    long got = platform::receiveSome(socket, buffer, sizeof buffer);
    if (got <= 0) {
      intact = false;
      break;
    }
    for (long i = 0; i < got && intact; ++i, ++received) {
      char expected = received < greeting.size()
                          ? greeting[received]
                          : tallymark::server::kInvalidReply[(received - greeting.size()) %
                                                             tallymark::server::kInvalidReplySize];
      intact = buffer[i] == expected;
    }
    if (!intact) break;
  }
  sender.join();
  return intact && received == total;
}

// Connects `clients` clients to `port`, one after another.
std::vector<platform::Socket> connectClients(uint16_t port, int clients) {
  std::vector<platform::Socket> sockets;
  for (int c = 0; c < clients; ++c) {
    sockets.push_back(platform::connectTcp({platform::loopbackAddress(), port}));
  }
  return sockets;
}

// Runs the connected clients at once; returns the replies counted.
int64_t runClients(std::vector<platform::Socket> sockets, const std::string& greeting) {
  std::atomic<int64_t> answered{0};
  std::vector<std::thread> threads;
  int64_t perClient = kTotalLines / static_cast<int64_t>(sockets.size());
  for (platform::Socket& socket : sockets) {
    threads.emplace_back([&, connection = std::move(socket)]() mutable {
      if (runClient(std::move(connection), perClient, greeting)) answered += perClient;
    });
  }
  for (auto& t : threads) t.join();
  return answered;
}

// The connects stay out of the time: the figure is the line rate. (A burst of connects
// against the listen backlog can lose a SYN, and its retry costs a whole second.)
int64_t timedRun(benchmark::State& state, uint16_t port, int clients, const std::string& greeting) {
  state.PauseTiming();
  std::vector<platform::Socket> sockets = connectClients(port, clients);
  state.ResumeTiming();
  return runClients(std::move(sockets), greeting);
}

void report(benchmark::State& state, int64_t answered, int clients) {
  int64_t expected = kTotalLines / clients * clients;
  if (answered != expected) state.SkipWithError("replies missing or wrong");
  state.SetItemsProcessed(answered);
  state.counters["lines_per_s"] =
      benchmark::Counter(static_cast<double>(answered), benchmark::Counter::kIsRate);
}

void BM_CommandServer(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  tallymark::server::detail::resetRequest();
  parse_line("X0");  // the slot is pending: every line from now on is answered
  tallymark::server::CommandServer commandServer;
  if (!commandServer.start(0)) {
    state.SkipWithError("server did not start");
    return;
  }
  // Without a camera source the server greets as for a USB camera.
  const tallymark::server::CameraSettings camera;
  const std::string hello = tallymark::server::greeting(camera.type, camera.path);
  int64_t answered = 0;
  for (auto _ : state) answered += timedRun(state, commandServer.port(), clients, hello);
  commandServer.stop();
  report(state, answered, clients);
  tallymark::server::detail::resetRequest();
}

void BM_LineEcho(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  LineEcho echo;
  if (!echo.start()) {
    state.SkipWithError("echo did not start");
    return;
  }
  int64_t answered = 0;
  for (auto _ : state) answered += timedRun(state, echo.port(), clients, std::string());
  echo.stop();
  report(state, answered, clients);
}

// Interleaved so that each pair sees the same machine load.
void registerAll() {
  for (int clients : {1, 16}) {
    for (auto* bm : {benchmark::RegisterBenchmark("BM_LineEcho", BM_LineEcho),
                     benchmark::RegisterBenchmark("BM_CommandServer", BM_CommandServer)}) {
      bm->Arg(clients)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  platform::SocketLibrary sockets;
  if (!sockets.start()) return 1;
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

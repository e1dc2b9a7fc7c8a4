// The MTConnect adapter: serves the machine's figures in SHDR (see shdr.h) to up to
// kMaxAgents agents at once over TCP.
//
// Threads. The host's thread calls publish() on every tick: it compares the figures with
// the last ones it published and, when they differ, stores them in a seqlock and wakes
// the sender. It never allocates, never touches a socket and never takes a lock. Two
// threads of the adapter do the rest: the network thread accepts agents and reads what
// they send (PINGs; anything else is dropped), the sender composes and sends each
// agent's lines with sends that never wait.
//
// Each agent has a bounded queue: the values it has been sent, and one line in flight. A
// new line is composed only when the one before has been taken by the system, from the
// newest figures, so a slow agent gets the latest values late instead of every value,
// never grows memory, and never holds up the tick or another agent.
//
// A host that stops ticking (frozen, or busy for long) leaves figures that no longer say
// anything: when no publish() has come for Options::ticksStopAfterMs, the sender tells
// every agent avail and execution UNAVAILABLE, keeping the other items, and the next
// publish() brings the figures back. PINGs are still answered meanwhile: the adapter is
// alive, the machine's data is not.
//
// At stop() every agent is told avail and execution UNAVAILABLE: a line still in flight
// goes out first, then that one, for up to Options::stopLimitMs in all before the
// connections are closed.
//
// Dead peers: keepalive on every agent; an agent that has pinged and then stops for twice
// the heartbeat is closed. When all slots are taken, a newcomer takes the slot of the
// agent silent longest if it has been silent for net::kEvictAfterMs, else it is closed at
// once. Every close is a normal one (FIN), never a reset.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "mtconnect/observations.h"
#include "mtconnect/shdr.h"
#include "net/peers.h"
#include "platform/socket.h"
#include "platform/wake_event.h"

namespace tallymark::mtconnect {

// A dotted IPv4 address ("192.168.1.20") in network byte order; empty (or blanks) gives
// 0, all local addresses. False for anything else: names are not looked up.
bool parseListenAddress(const std::string& text, uint32_t& networkOrder);

class Adapter {
 public:
  static constexpr size_t kMaxAgents = 4;
  static constexpr int kHeartbeatMs = 10000;
  // The system's send buffer per agent. An agent needs a few lines a second; without a
  // limit Linux lets the buffer of an agent that stopped reading grow to megabytes.
  static constexpr int kSendBufferBytes = 32 * 1024;
  static constexpr uint32_t kTicksStopAfterMs = 5000;
  static constexpr int kStopLimitMs = 500;

  struct Options {
    // Milliseconds, wrapping at 2^32, for agents' silence and heartbeats; null: the
    // system's monotonic clock. Tests pass their own.
    uint32_t (*clock)() = nullptr;
    // On that clock: how long without a publish() before the figures are withdrawn (0:
    // never).
    uint32_t ticksStopAfterMs = kTicksStopAfterMs;
    // Real time that stop() gives the agents to take their last line.
    int stopLimitMs = kStopLimitMs;
    // Called by the sender once per pass, holding the agents' lock; it may block to hold
    // the sender there. Empty: nothing is called.
    std::function<void()> whileLocked;
  };

  Adapter();
  explicit Adapter(Options options);
  Adapter(const Adapter&) = delete;
  Adapter& operator=(const Adapter&) = delete;
  ~Adapter();

  // Listens on `address` (network byte order, 0: all local addresses) and `port` (0: the
  // system chooses) and starts the threads. False, with nothing left open, when the
  // socket cannot be set up or a thread cannot start, or when the adapter runs already.
  bool start(uint32_t address, uint16_t port);

  // Tells every agent avail and execution UNAVAILABLE (waiting for a slow one up to
  // Options::stopLimitMs), closes every connection and the listener, and ends the
  // threads. Returns within about stopLimitMs + kPollMs. Call it from the thread that
  // publishes.
  void stop();

  // The tick's call: see the top of this file. One thread only (the host's); allowed
  // whether or not the adapter runs.
  void publish(const Observations& values);

  bool running() const { return network_.joinable(); }
  uint16_t port() const { return port_; }
  size_t agentCount() const;

  // How long the network thread waits before it looks at the stop flag again.
  static constexpr int kPollMs = 100;

 private:
  // The seqlock: a version that is odd while the one writer stores, and the figures as
  // words so that readers never race with it on plain memory.
  static constexpr size_t kWords = 6;  // the figures, and when they were published
  struct Words {
    uint64_t word[kWords] = {};
    bool operator==(const Words& other) const;
  };
  static Words encode(const Observations& values);
  static Observations decode(const Words& words);

  // agents_[i] is served while peer holds slot i of peers_.
  struct Agent {
    net::Peer peer;
    bool failed = false;  // a send failed; the network thread closes it
    bool fresh = false;   // has been sent nothing yet: gets every item
    bool pongDue = false;
    bool pinging = false;  // has sent a PING; its pings are then expected
    platform::Socket socket;
    uint32_t lastPing = 0;  // network thread only
    Observations sent;      // what the agent has been told
    char out[shdr::kLineCapacity * 2];
    size_t outStart = 0, outEnd = 0;
    shdr::CommandReader reader;  // network thread only
  };

  uint32_t now() const;
  void storeSnapshot(const Words& words);
  uint64_t loadSnapshot(Words& words) const;
  void runNetwork();
  void serveNetwork();
  bool serving(const Agent& agent) const { return peers_.holds(agent.peer); }
  void admit(platform::Socket socket, uint32_t now);
  void drop(Agent& agent);  // caller holds lock_
  void runSender();
  // One round of sends; true when every agent has been told `current` in full. `pending`:
  // some agent's line is still in flight. Holds lock_.
  bool sendPass(const Observations& current, int64_t stampMs, bool& pending);
  void finishAtStop(std::unique_lock<std::mutex>& lock, const Observations& last, int64_t stampMs);

  Options options_;
  // Held from start until stop, past every socket below.
  platform::SocketLibrary sockets_;
  platform::Socket listener_;
  uint16_t port_ = 0;
  std::thread network_;
  std::thread sender_;
  std::atomic<bool> stopping_{false};

  // The snapshot. published_ is the publishing thread's own copy.
  Words published_;
  std::atomic<uint64_t> version_{0};
  std::atomic<uint64_t> snapshot_[kWords] = {};
  // Counts publish() calls, so that the sender can tell the ticks go on; stale_ is true
  // while the sender has withdrawn the figures, so that the next tick wakes it.
  std::atomic<uint64_t> ticks_{0};
  std::atomic<bool> stale_{false};

  // Guards agents_ and senderWork_ between the two network threads; the publishing
  // thread never takes it.
  mutable std::mutex lock_;
  // The sender waits here, without lock_; the tick signals it without waiting.
  platform::WakeEvent wake_;
  bool senderWork_ = false;  // an agent came or owes a PONG
  // Admitted and left by the network thread under lock_; their sockets too.
  net::PeerTable<kMaxAgents> peers_;
  Agent agents_[kMaxAgents];
};

}  // namespace tallymark::mtconnect

#include "mtconnect/adapter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/clock.h"

namespace tallymark::mtconnect {
namespace {

constexpr int kBacklog = 8;
constexpr size_t kReceiveChunk = 4096;
// The sender retries agents whose line is still in flight this often.
constexpr int kRetryMs = 20;
// Without work the sender still looks now and then (every change signals it).
constexpr int kIdleWaitMs = 500;

constexpr uint64_t kKnownPart = 1u << 16, kKnownTotal = 1u << 17, kKnownCycle = 1u << 18,
                   kKnownReset = 1u << 19, kBatchItems = 1u << 20, kKnownTarget = 1u << 21,
                   kKnownRemaining = 1u << 22;

uint64_t doubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double bitsDouble(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

bool parseListenAddress(const std::string& text, uint32_t& networkOrder) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (begin == end) {
    networkOrder = 0;
    return true;
  }
  unsigned char bytes[4];
  size_t at = begin;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= end || text[at] != '.') return false;
      ++at;
    }
    size_t digits = 0;
    unsigned value = 0;
    while (at < end && std::isdigit(static_cast<unsigned char>(text[at])) && digits < 3) {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || value > 255) return false;
    bytes[part] = static_cast<unsigned char>(value);
  }
  if (at != end) return false;
  std::memcpy(&networkOrder, bytes, sizeof networkOrder);
  return true;
}

bool Adapter::Words::operator==(const Words& other) const {
  for (size_t i = 0; i < kWords; ++i) {
    if (word[i] != other.word[i]) return false;
  }
  return true;
}

Adapter::Words Adapter::encode(const Observations& values) {
  Words words;
  uint64_t flags = (values.available ? 1u : 0u) | static_cast<uint64_t>(values.execution) << 8;
  if (values.partCount) {
    flags |= kKnownPart;
    words.word[1] |= static_cast<uint32_t>(*values.partCount);
  }
  if (values.totalPartCount) {
    flags |= kKnownTotal;
    words.word[1] |= static_cast<uint64_t>(static_cast<uint32_t>(*values.totalPartCount)) << 32;
  }
  if (values.cycleTimeSeconds) {
    flags |= kKnownCycle;
    words.word[2] = doubleBits(*values.cycleTimeSeconds);
  }
  if (values.lastResetUtcMs) {
    flags |= kKnownReset;
    words.word[3] = static_cast<uint64_t>(*values.lastResetUtcMs);
  }
  if (values.batchItems) flags |= kBatchItems;
  if (values.partCountTarget) {
    flags |= kKnownTarget;
    words.word[4] |= static_cast<uint32_t>(*values.partCountTarget);
  }
  if (values.partCountRemaining) {
    flags |= kKnownRemaining;
    words.word[4] |= static_cast<uint64_t>(static_cast<uint32_t>(*values.partCountRemaining)) << 32;
  }
  words.word[0] = flags;
  return words;
}

Observations Adapter::decode(const Words& words) {
  Observations values;
  uint64_t flags = words.word[0];
  values.available = (flags & 1u) != 0;
  values.execution = static_cast<Execution>((flags >> 8) & 0xffu);
  if (flags & kKnownPart) values.partCount = static_cast<int32_t>(words.word[1] & 0xffffffffu);
  if (flags & kKnownTotal) values.totalPartCount = static_cast<int32_t>(words.word[1] >> 32);
  if (flags & kKnownCycle) values.cycleTimeSeconds = bitsDouble(words.word[2]);
  if (flags & kKnownReset) values.lastResetUtcMs = static_cast<int64_t>(words.word[3]);
  values.batchItems = (flags & kBatchItems) != 0;
  if (flags & kKnownTarget)
    values.partCountTarget = static_cast<int32_t>(words.word[4] & 0xffffffffu);
  if (flags & kKnownRemaining)
    values.partCountRemaining = static_cast<int32_t>(words.word[4] >> 32);
  return values;
}

Adapter::Adapter() : Adapter(Options{}) {}

Adapter::Adapter(Options options) : options_(options) {}

Adapter::~Adapter() {
  stop();
}

uint32_t Adapter::now() const {
  return options_.clock ? options_.clock() : platform::monotonicMillis();
}

// Ordered without fences (which ThreadSanitizer cannot follow): a reader that loads a
// word of a store under way synchronizes with that release store, so its second look at
// the version sees the odd value stored before it, or a later one, and it tries again.
void Adapter::storeSnapshot(const Words& words) {
  uint64_t version = version_.load(std::memory_order_relaxed);
  version_.store(version + 1, std::memory_order_relaxed);
  for (size_t i = 0; i < kWords; ++i) snapshot_[i].store(words.word[i], std::memory_order_release);
  version_.store(version + 2, std::memory_order_release);
}

uint64_t Adapter::loadSnapshot(Words& words) const {
  for (;;) {
    uint64_t before = version_.load(std::memory_order_acquire);
    if (before & 1u) {
      std::this_thread::yield();
      continue;
    }
    for (size_t i = 0; i < kWords; ++i)
      words.word[i] = snapshot_[i].load(std::memory_order_acquire);
    if (version_.load(std::memory_order_relaxed) == before) return before;
  }
}

void Adapter::publish(const Observations& values) {
  // One writer: a plain increment, no read-modify-write on the bus.
  ticks_.store(ticks_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  Words words = encode(values);
  if (words == published_) {
    if (stale_.load(std::memory_order_relaxed)) wake_.signal();
    return;
  }
  published_ = words;
  words.word[kWords - 1] = static_cast<uint64_t>(platform::utcMillisNow());
  storeSnapshot(words);
  wake_.signal();
}

bool Adapter::start(uint32_t address, uint16_t port) {
  if (running()) return false;
  if (!sockets_.start()) return false;
  listener_ = platform::openTcpListenerOn({address, port}, kBacklog);
  if (!listener_) {
    sockets_.release();
    return false;
  }
  port_ = platform::localPort(listener_.get());
  stopping_ = false;
  stale_ = false;
  try {
    sender_ = std::thread([this] { runSender(); });
    network_ = std::thread([this] { runNetwork(); });
  } catch (...) {
    stopping_ = true;
    wake_.signal();
    if (sender_.joinable()) sender_.join();
    listener_.close();
    sockets_.release();
    return false;
  }
  return true;
}

void Adapter::stop() {
  if (!running()) return;
  Observations last = decode(published_);
  last.available = false;
  last.execution = Execution::Unavailable;
  publish(last);
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.signal();
  sender_.join();  // it hands the UNAVAILABLE line to every agent, within the stop limit
  network_.join();
  for (Agent& agent : agents_) {
    if (serving(agent)) drop(agent);
  }
  listener_.close();
  sockets_.release();
}

size_t Adapter::agentCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return peers_.occupied();
}

void Adapter::drop(Agent& agent) {
  net::closeGracefully(std::move(agent.socket));
  peers_.leave(agent.peer);
  agent.peer = net::Peer{};
}

// --- The network thread ---

void Adapter::runNetwork() {
  // Nothing below throws; the handler keeps it so for whatever a later change adds.
  try {
    serveNetwork();
  } catch (...) {
  }
}

void Adapter::serveNetwork() {
  platform::SocketHandle sockets[kMaxAgents + 1];
  Agent* owners[kMaxAgents + 1];
  bool ready[kMaxAgents + 1];
  char chunk[kReceiveChunk];
  while (!stopping_) {
    // Only this thread opens and closes agents, so their sockets can be read unlocked.
    size_t count = 0;
    sockets[count] = listener_.get();
    owners[count++] = nullptr;
    for (Agent& agent : agents_) {
      if (!serving(agent)) continue;
      sockets[count] = agent.socket.get();
      owners[count++] = &agent;
    }
    platform::WaitResult wait = platform::waitReadableAny(sockets, count, kPollMs, ready);
    if (wait == platform::WaitResult::Failed) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    uint32_t time = now();
    bool wakeSender = false;
    if (wait == platform::WaitResult::Ready) {
      for (size_t i = 1; i < count; ++i) {
        if (!ready[i]) continue;
        Agent& agent = *owners[i];
        long got = platform::receiveSome(agent.socket.get(), chunk, sizeof chunk);
        if (got <= 0) {
          std::lock_guard<std::mutex> guard(lock_);
          drop(agent);
          continue;
        }
        peers_.heard(agent.peer, time);
        if (agent.reader.receive(chunk, static_cast<size_t>(got)) > 0) {
          agent.lastPing = time;
          std::lock_guard<std::mutex> guard(lock_);
          agent.pinging = true;
          agent.pongDue = true;
          senderWork_ = true;
          wakeSender = true;
        }
      }
      if (ready[0]) {
        platform::Socket accepted = platform::acceptConnection(listener_.get());
        if (accepted) {
          admit(std::move(accepted), time);
          wakeSender = true;
        }
      }
    }
    {
      std::lock_guard<std::mutex> guard(lock_);
      for (Agent& agent : agents_) {
        if (!serving(agent)) continue;
        bool pingsStopped = agent.pinging && time - agent.lastPing >= 2u * kHeartbeatMs;
        if (agent.failed || pingsStopped) drop(agent);
      }
    }
    if (wakeSender) wake_.signal();
  }
}

void Adapter::admit(platform::Socket socket, uint32_t time) {
  platform::setNonBlocking(socket.get());
  platform::setBufferSizes(socket.get(), kSendBufferBytes, 0);
  // Keepalive, and a PONG or a changed figure out at once, not after the agent's delayed
  // ACK.
  net::setUpPeer(socket.get());
  std::lock_guard<std::mutex> guard(lock_);
  net::Peer evicted;
  net::Peer peer = peers_.admit(time, &evicted);
  if (evicted) drop(agents_[evicted.slot]);
  if (!peer) {
    net::closeGracefully(std::move(socket));
    return;
  }
  Agent& slot = agents_[peer.slot];
  slot.peer = peer;
  slot.failed = false;
  slot.fresh = true;
  slot.pongDue = false;
  slot.pinging = false;
  slot.socket = std::move(socket);
  slot.lastPing = time;
  slot.outStart = slot.outEnd = 0;
  slot.reader = shdr::CommandReader();
  senderWork_ = true;
}

// --- The sender ---

void Adapter::runSender() {
  try {
    std::unique_lock<std::mutex> lock(lock_);
    uint64_t seen = ~uint64_t{0};
    bool pending = false;
    uint64_t seenTicks = ticks_.load(std::memory_order_relaxed);
    uint32_t lastTickAt = now();
    bool stale = false;
    int64_t staleChangedMs = 0;
    for (;;) {
      auto due = [&] {
        return stopping_ || senderWork_ || version_.load(std::memory_order_acquire) != seen ||
               (stale && ticks_.load(std::memory_order_relaxed) != seenTicks);
      };
      if (!due()) {
        lock.unlock();
        wake_.wait(std::chrono::milliseconds(pending ? kRetryMs : kIdleWaitMs));
        lock.lock();
      }
      if (options_.whileLocked) options_.whileLocked();
      bool last = stopping_;
      senderWork_ = false;
      Words words;
      seen = loadSnapshot(words);
      Observations current = decode(words);
      int64_t stampMs = static_cast<int64_t>(words.word[kWords - 1]);
      if (last) {
        finishAtStop(lock, current, stampMs);
        return;
      }

      const uint64_t ticks = ticks_.load(std::memory_order_relaxed);
      const uint32_t time = now();
      bool nowStale = stale;
      if (ticks != seenTicks) {
        seenTicks = ticks;
        lastTickAt = time;
        nowStale = false;
      } else if (options_.ticksStopAfterMs != 0 && time - lastTickAt >= options_.ticksStopAfterMs) {
        nowStale = true;
      }
      if (nowStale != stale) {
        stale = nowStale;
        stale_.store(stale, std::memory_order_relaxed);
        staleChangedMs = platform::utcMillisNow();
      }
      if (stale) {
        current.available = false;
        current.execution = Execution::Unavailable;
      }
      sendPass(current, std::max(stampMs, staleChangedMs), pending);
    }
  } catch (...) {
  }
}

// Passes until every agent has taken its UNAVAILABLE line or the stop limit is reached.
// An agent with a line still in flight gets the rest of it first; only then is its last
// line composed.
void Adapter::finishAtStop(std::unique_lock<std::mutex>& lock, const Observations& last,
                           int64_t stampMs) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.stopLimitMs);
  bool pending = false;
  while (!sendPass(last, stampMs, pending) && std::chrono::steady_clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    lock.unlock();
    wake_.wait(std::clamp(left, std::chrono::milliseconds(0), std::chrono::milliseconds(kRetryMs)));
    lock.lock();
  }
}

bool Adapter::sendPass(const Observations& current, int64_t stampMs, bool& pending) {
  pending = false;
  bool allTold = true;
  for (Agent& agent : agents_) {
    if (!serving(agent) || agent.failed) continue;
    const bool composed = agent.outStart == agent.outEnd;
    if (composed) {
      agent.outStart = agent.outEnd = 0;
      if (agent.fresh) {
        agent.outEnd = shdr::composeLine(platform::utcMillisNow(), current, nullptr, agent.out);
        agent.fresh = false;
      } else {
        agent.outEnd = shdr::composeLine(stampMs, current, &agent.sent, agent.out);
      }
      agent.sent = current;
      if (agent.pongDue) {
        agent.outEnd += shdr::composePong(kHeartbeatMs, agent.out + agent.outEnd);
        agent.pongDue = false;
      }
    }
    if (agent.outStart == agent.outEnd) continue;
    long sent = platform::sendSome(agent.socket.get(), agent.out + agent.outStart,
                                   agent.outEnd - agent.outStart);
    if (sent < 0) {
      agent.failed = true;
      continue;
    }
    agent.outStart += static_cast<size_t>(sent);
    if (agent.outStart != agent.outEnd) pending = true;
    // A line composed before this pass holds older figures: `current` is still to come.
    if (agent.outStart != agent.outEnd || !composed) allTold = false;
  }
  return allTold;
}

}  // namespace tallymark::mtconnect

// A test agent that speaks SHDR as an MTConnect agent does: it reads
// `timestamp|key|value...` lines from an adapter on loopback, checks their form, keeps the
// latest value of every key, pings, and watches how the stream ends.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "loopback.h"
#include "platform/socket.h"

class TestAgent {
 public:
  explicit TestAgent(uint16_t port)
      : socket_(tallymark::platform::connectTcp({tallymark::platform::loopbackAddress(), port})) {
    if (socket_)
      tallymark::platform::setSocketTimeouts(socket_.get(), loopback::kPatienceMs,
                                             loopback::kPatienceMs);
  }

  void shrinkReceiveBuffer() { tallymark::platform::setBufferSizes(socket_.get(), 0, 4096); }

  bool connected() const { return socket_.isOpen(); }
  bool send(const std::string& text) {
    return tallymark::platform::sendAll(socket_.get(), text.data(), text.size());
  }

  // The next line without its LF; false when the stream ended (`closed` then says whether
  // normally) or the patience ran out.
  bool readLine(std::string& line) {
    for (;;) {
      size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        ++lines_;
        return true;
      }
      char chunk[4096];
      long got = tallymark::platform::receiveSome(socket_.get(), chunk, sizeof chunk);
      if (got <= 0) {
        ended_ = got == 0 ? End::Closed : End::Failed;
        return false;
      }
      buffer_.append(chunk, static_cast<size_t>(got));
    }
  }

  // Reads data lines into `values` until `key` holds `value`. Every data line must be a
  // well-formed SHDR line.
  bool waitFor(const std::string& key, const std::string& value) {
    while (values[key] != value) {
      std::string line;
      if (!readLine(line)) return false;
      if (line.rfind("* ", 0) == 0) {
        commands.push_back(line);
        continue;
      }
      if (!take(line)) return false;
    }
    return true;
  }

  bool take(const std::string& line) {
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
      size_t bar = line.find('|', at);
      fields.push_back(line.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
      if (bar == std::string::npos) break;
      at = bar + 1;
    }
    const std::string& stamp = fields[0];
    bool stampOk = stamp.size() == 24 && stamp[4] == '-' && stamp[10] == 'T' && stamp[19] == '.' &&
                   stamp[23] == 'Z';
    EXPECT_TRUE(stampOk && fields.size() % 2 == 1 && fields.size() >= 3) << line;
    if (!stampOk || fields.size() % 2 != 1) return false;
    lastLineItems = (fields.size() - 1) / 2;
    for (size_t i = 1; i + 1 < fields.size(); i += 2) values[fields[i]] = fields[i + 1];
    return true;
  }

  // Reads to the end of the stream; true when the adapter ended it normally.
  bool endsNormally() {
    std::string line;
    while (readLine(line)) {
      if (line.rfind("* ", 0) != 0) take(line);
    }
    return ended_ == End::Closed;
  }

  size_t lines() const { return lines_; }

  std::map<std::string, std::string> values;
  std::vector<std::string> commands;
  size_t lastLineItems = 0;

 private:
  enum class End { Open, Closed, Failed };
  tallymark::platform::Socket socket_;
  std::string buffer_;
  End ended_ = End::Open;
  size_t lines_ = 0;
};

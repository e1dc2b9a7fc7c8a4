// One connection's bytes through the line framing, cut into receives of random sizes
// (at most the server's receive chunk), and every line through parse_line, as the
// connection thread does.
//
// Checked: no line holds a CR or a NUL; unterminated text never stays above the cap;
// while the cap has not cut anything, the lines are exactly those of an unbounded
// framer; an overlong line carries no text; parse_line accepts a line exactly when the
// grammar does (never one above 255 bytes) and fills the slot with the reference values.
//
// Input: the first two bytes seed the receive sizes, the rest is the byte stream.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "number_reference.h"
#include "server/command_server.h"
#include "server/line_framer.h"
#include "server/protocol.h"

namespace {

using tallymark::server::LineFramer;

[[noreturn]] void fail(const char* what, const std::string& line) {
  std::fprintf(stderr, "%s: line of %zu bytes \"%.120s\"\n", what, line.size(), line.c_str());
  std::abort();
}

// The framing without the cap and without the NUL rule's state: one growing buffer.
class UnboundedFramer {
 public:
  void receive(const char* bytes, size_t count) {
    for (size_t i = 0; i < count && bytes[i] != '\0'; ++i) buffer_ += bytes[i];
  }
  bool readLine(std::string& line) {
    for (;;) {
      size_t cr = buffer_.find('\r');
      if (cr == std::string::npos) return false;
      size_t take = cr + 1 < buffer_.size() ? cr + 2 : cr + 1;
      line = buffer_.substr(0, cr);
      buffer_.erase(0, take);
      if (!line.empty()) return true;
    }
  }
  size_t unterminated() const {
    return buffer_.find('\r') == std::string::npos ? buffer_.size() : 0;
  }

 private:
  std::string buffer_;
};

// What parse_line must make of `line` on an empty slot.
bool expectedParse(const std::string& line, tcp_request& slot) {
  slot = tcp_request{};
  if (line.empty() || line.size() > tallymark::server::kMaxLineLength) return false;
  const char* text = line.c_str();
  size_t at = 0;
  while (text[at] >= '@' && text[at] <= 'Z') {
    char letter = text[at++];
    float number = 0;
    size_t end = 0;
    if (!reference::readNumber(text, at, end, number)) return false;
    at = end;
    if (letter == 'X') slot.X = number;
    if (letter == 'Y') slot.Y = number;
    if (letter == 'Z') slot.Z = number;
    if (letter == '@' && number > -1.0f && number < 4294967296.0f) {
      uint32_t low = static_cast<uint32_t>(std::trunc(number)) & 0xFFu;
      if (low == 0 || low == 1 || low == 3) slot.mode = static_cast<int32_t>(low);
    }
  }
  slot.pending = 1;
  return true;
}

void checkParse(const std::string& line) {
  tallymark::server::detail::resetRequest();
  bool accepted = parse_line(line);
  tcp_request expected;
  if (accepted != expectedParse(line, expected)) {
    fail(accepted ? "parse_line accepts a line the grammar rejects"
                  : "parse_line rejects a line the grammar accepts",
         line);
  }
  if (!accepted) return;
  tcp_request got = tallymark::server::currentRequest();
  if (got.pending != 1 || got.mode != expected.mode || !reference::sameBits(got.X, expected.X) ||
      !reference::sameBits(got.Y, expected.Y) || !reference::sameBits(got.Z, expected.Z)) {
    fail("the slot differs from the reference", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t state = (uint32_t{data[0]} << 8 | data[1]) * 2654435761u + 1u;
  const char* stream = reinterpret_cast<const char*>(data + 2);
  size_t remaining = size - 2;

  LineFramer framer;
  UnboundedFramer model;
  bool capped = false;  // the cap has cut text: the two framings part ways
  std::string line, modelLine;
  while (remaining > 0) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    // Mostly small receives, sometimes full ones, as a loaded socket gives them.
    size_t chunk =
        (state & 0x300u) == 0 ? tallymark::server::CommandServer::kReceiveChunk : 1 + state % 64;
    if (chunk > remaining) chunk = remaining;
    framer.receive(stream, chunk);
    model.receive(stream, chunk);
    stream += chunk;
    remaining -= chunk;

    bool overlong = false;
    while (framer.readLine(line, overlong)) {
      if (line.find('\r') != std::string::npos) fail("a line holds a CR", line);
      if (line.find('\0') != std::string::npos) fail("a line holds a NUL", line);
      if (line.size() > LineFramer::kMaxPending + tallymark::server::CommandServer::kReceiveChunk) {
        fail("a line is longer than the cap and one receive", line);
      }
      if (overlong) {
        if (!line.empty()) fail("an overlong line carries text", line);
        if (!capped) fail("an overlong line without a cut", line);
        continue;  // rejected unread
      }
      if (!capped) {
        if (!model.readLine(modelLine) || modelLine != line)
          fail("the framing differs from the unbounded one", line);
      }
      checkParse(line);
    }
    if (framer.pending().size() > LineFramer::kMaxPending)
      fail("unterminated text above the cap", framer.pending());
    if (framer.pending().find('\r') != std::string::npos)
      fail("a complete line was left behind", framer.pending());
    if (!capped) {
      if (model.readLine(modelLine)) fail("the framing lost a line", modelLine);
      // The cap cuts once unterminated text has grown past it.
      capped = model.unterminated() > LineFramer::kMaxPending;
    }
  }
  return 0;
}

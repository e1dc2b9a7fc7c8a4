// The command-line protocol of the command server: the greeting sent to each new client,
// the grammar of the lines it sends, and the request slot an accepted line fills.
//
// The request slot is one per process. The first accepted line, on whatever connection,
// fills it and raises its pending flag; nothing ever lowers the flag, so every later
// line is rejected. parse_line may be called from any thread: the slot is written under
// a lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct tcp_request {
  uint8_t pending = 0;  // 1 once an accepted line has been stored
  int32_t mode = 0;     // latest `@` value among 0, 1 and 3
  double X = 0;
  double Y = 0;
  double Z = 0;
};

namespace tallymark::server {

// The reply to every rejected line.
inline constexpr char kInvalidReply[] = "#Invalid.\r\n";
inline constexpr size_t kInvalidReplySize = sizeof kInvalidReply - 1;

// Lines are indexed with 8 bits: a longer line is rejected unread.
inline constexpr size_t kMaxLineLength = 255;

// The bytes sent to a client when it connects, chosen by the camera type: "[3\r" (USB),
// "[4*" and the whole camera path up to any NUL in it, with no terminator (IP camera),
// "[5\r" (Dahua), nothing for any other type.
std::string greeting(int32_t camType, const std::string& cameraPath);

// A copy of the request slot, taken under its lock.
tcp_request currentRequest();

namespace detail {
// Empties the request slot. The slot lives for the process; tests use this to start
// from a fresh process's state. Not part of the plug-in's interface.
void resetRequest();
}  // namespace detail

}  // namespace tallymark::server

// Parses one line (without its CR) into the request slot: true when it is accepted,
// false when it is rejected (empty, longer than 255 bytes, the slot already pending, or
// a field letter without a number). Fields stored before a failing one stay stored.
bool parse_line(std::string line);

// Reads one number (optional sign, digits with at most one '.') from the NUL-terminated
// `text` at `position`. At most 8 digits are significant, and the value is built with
// 32-bit products exactly as the controller side expects. On success stores the value,
// moves `position` to the byte that ended the number and returns true; otherwise changes
// neither. The number ends at index 255 at the latest, the last an 8-bit position names.
bool read_float(const char* text, uint8_t& position, float& value);

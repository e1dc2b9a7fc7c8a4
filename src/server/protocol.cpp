#include "server/protocol.h"

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

tcp_request current_request;
// Mirrors current_request.pending for a reject without the lock: once the slot is
// pending it stays so (only the test reset empties it), and a server with many
// connections rejects every line after the first.
std::atomic<bool> slotPending{false};

std::mutex& requestLock() {
  static std::mutex lock;
  return lock;
}

// Rounds a product to 32 bits in memory. The 32-bit x87 build would otherwise keep it
// in an 80-bit register between steps, and the last bits would differ from the
// controller's arithmetic.
float roundToFloat(double value) {
  volatile float rounded = static_cast<float>(value);
  return rounded;
}

constexpr float kOneHundredth = 0.01f;  // 0.009999999776482582
constexpr float kOneTenth = 0.1f;       // 0.10000000149011612

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isFieldLetter(char c) {
  return c >= '@' && c <= 'Z';
}

// The mode an `@` number selects, or -1 for none. Only the low 8 bits of the whole part
// count (256 selects 0, 259 selects 3). A whole part that is negative or beyond 32 bits
// has no low bits to speak of: it selects nothing and the mode stays as it was.
int32_t modeFromNumber(float number) {
  double whole = std::trunc(static_cast<double>(number));
  if (!(whole >= 0.0 && whole <= 4294967295.0)) return -1;
  int32_t low = static_cast<int32_t>(static_cast<uint32_t>(whole) & 0xFFu);
  return (low == 0 || low == 1 || low == 3) ? low : -1;
}

void applyField(tcp_request& slot, char letter, float number) {
  switch (letter) {
    case '@': {
      int32_t mode = modeFromNumber(number);
      if (mode >= 0) slot.mode = mode;
      break;
    }
    case 'X':
      slot.X = number;
      break;
    case 'Y':
      slot.Y = number;
      break;
    case 'Z':
      slot.Z = number;
      break;
    default:
      break;  // A to W: read and dropped
  }
}

}  // namespace

namespace tallymark::server {

std::string greeting(int32_t camType, const std::string& cameraPath) {
  switch (camType) {
    case 0:
      return "[3\r";
    case 1:
      return "[4*" + std::string(cameraPath.c_str());
    case 2:
      return "[5\r";
    default:
      return std::string();
  }
}

tcp_request currentRequest() {
  std::lock_guard<std::mutex> guard(requestLock());
  return current_request;
}

void detail::resetRequest() {
  std::lock_guard<std::mutex> guard(requestLock());
  current_request = tcp_request{};
  slotPending.store(false, std::memory_order_release);
}

}  // namespace tallymark::server

bool read_float(const char* text, uint8_t& position, float& value) {
  unsigned at = position;
  bool negative = false;
  if (text[at] == '-' || text[at] == '+') {
    negative = text[at] == '-';
    ++at;
  }
  uint32_t mantissa = 0;
  int exponent = 0;
  int digits = 0;
  bool fraction = false;
  for (; at < 255; ++at) {
    char c = text[at];
    if (isDigit(c)) {
      if (digits < 8) {
        mantissa = mantissa * 10 + static_cast<uint32_t>(c - '0');
        if (fraction) --exponent;
      } else if (!fraction) {
        ++exponent;
      }
      ++digits;
    } else if (c == '.' && !fraction) {
      fraction = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;

  // Mantissas above 2^24 round here; on x87 a plain conversion would carry all 27 bits
  // into the products below.
  float number = roundToFloat(static_cast<double>(mantissa));
  if (number != 0.0f) {
    for (; exponent <= -2; exponent += 2) {
      number = roundToFloat(static_cast<double>(number) * static_cast<double>(kOneHundredth));
    }
    if (exponent == -1) {
      number = roundToFloat(static_cast<double>(number) * static_cast<double>(kOneTenth));
    } else {
      for (; exponent > 0; --exponent) number = roundToFloat(static_cast<double>(number) * 10.0);
    }
  }
  value = negative ? -number : number;
  position = static_cast<uint8_t>(at);
  return true;
}

bool parse_line(std::string line) {
  if (line.empty() || line.size() > tallymark::server::kMaxLineLength) return false;
  const char* text = line.c_str();  // NUL-terminated, at most 255 bytes before the NUL

  if (slotPending.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> guard(requestLock());
  if (current_request.pending) return false;
  uint8_t position = 0;
  while (isFieldLetter(text[position])) {
    char letter = text[position];
    ++position;
    float number;
    if (!read_float(text, position, number)) return false;
    applyField(current_request, letter, number);
  }
  current_request.pending = 1;
  slotPending.store(true, std::memory_order_release);
  return true;
}

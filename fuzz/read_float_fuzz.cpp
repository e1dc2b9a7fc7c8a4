// read_float against the reference reading of the same rules: the same verdict, the
// same end position and a bit-identical value; on failure neither output changes.
// Input: the first byte is the start position, the rest the text (a NUL is added, and
// the copy is exactly that long, so that reading past the terminator is caught).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "number_reference.h"
#include "server/protocol.h"

namespace {

[[noreturn]] void fail(const char* what, const std::vector<char>& text, unsigned start) {
  std::fprintf(stderr, "%s (start %u): \"%s\"\n", what, start, text.data());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<char> text(data + 1, data + size);
  text.push_back('\0');
  // Any start within the text, its terminator included.
  size_t length = std::strlen(text.data());
  unsigned start = data[0] % (length < 255 ? length + 1 : 256);

  const float untouched = -12345.678f;
  float value = untouched;
  uint8_t position = static_cast<uint8_t>(start);
  bool ok = read_float(text.data(), position, value);

  float expected = 0;
  size_t end = 0;
  bool expectedOk = reference::readNumber(text.data(), start, end, expected);

  if (ok != expectedOk)
    fail(ok ? "read_float accepts a non-number" : "read_float misses a number", text, start);
  if (!ok) {
    if (position != start) fail("a failed read moved the position", text, start);
    if (!reference::sameBits(value, untouched)) fail("a failed read stored a value", text, start);
    return 0;
  }
  if (position != end) fail("the number ends elsewhere", text, start);
  if (!reference::sameBits(value, expected)) {
    std::fprintf(stderr, "got %.9g, expected %.9g\n", value, expected);
    fail("the value differs", text, start);
  }
  return 0;
}

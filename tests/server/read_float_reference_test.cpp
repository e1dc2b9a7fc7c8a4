// read_float held against the fuzzing reference on a fixed set of generated numbers, so
// that the 32-bit x87 build (under Wine) is checked for bit-identical results too: the
// libFuzzer runs only cover the native build.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "number_reference.h"
#include "server/protocol.h"

namespace {

std::string randomNumberText(std::mt19937& random) {
  std::string text;
  switch (random() % 4) {
    case 0:
      text += '-';
      break;
    case 1:
      text += '+';
      break;
    default:
      break;
  }
  size_t digits = random() % 24;
  size_t dot = random() % 4 == 0 ? std::string::npos : random() % (digits + 1);
  for (size_t i = 0; i < digits; ++i) {
    if (i == dot) text += '.';
    // Runs of zeros and nines reach the rounding corners more often than uniform digits.
    unsigned kind = random() % 8;
    text += kind == 0 ? '0' : kind == 1 ? '9' : static_cast<char>('0' + random() % 10);
  }
  if (dot == digits) text += '.';
  const char* tails[] = {"", "", ".5", "X1", " ", "e5", "\n"};
  text += tails[random() % 7];
  return text;
}

TEST(ReadFloatReference, GeneratedNumbersGiveTheReferenceBitsAndEnd) {
  std::mt19937 random(20261208u);
  int mismatches = 0;
  for (int i = 0; i < 200000 && mismatches < 10; ++i) {
    std::string text = randomNumberText(random);
    uint8_t position = 0;
    float value = 0;
    bool ok = read_float(text.c_str(), position, value);
    size_t end = 0;
    float expected = 0;
    bool expectedOk = reference::readNumber(text.c_str(), 0, end, expected);
    bool same =
        ok == expectedOk && (!ok || (position == end && reference::sameBits(value, expected)));
    if (!same) {
      ++mismatches;
      ADD_FAILURE() << '"' << text << "\": got " << ok << " " << value << " at " << int{position}
                    << ", expected " << expectedOk << " " << expected << " at " << end;
    }
  }
}

}  // namespace

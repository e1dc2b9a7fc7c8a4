// The command-line grammar, the number reader's arithmetic and the request slot.
#include "server/protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

// The value read_float gives for `text`, read from its start; NaN when it fails.
double readNumber(const char* text, uint8_t* end = nullptr) {
  uint8_t position = 0;
  float value = 0;
  if (!read_float(text, position, value)) return std::nan("");
  if (end != nullptr) *end = position;
  return value;
}

class RequestSlot : public ::testing::Test {
 protected:
  void SetUp() override { tallymark::server::detail::resetRequest(); }
  void TearDown() override { tallymark::server::detail::resetRequest(); }
  static tcp_request slot() { return tallymark::server::currentRequest(); }
};

TEST(ReadFloat, ValuesToTheLastBit) {
  EXPECT_EQ(readNumber("0.1"), 0.10000000149011612);
  EXPECT_EQ(readNumber("123456789"), 123456784.0);
  EXPECT_EQ(readNumber("1.23"), 1.2300000190734863);
  EXPECT_EQ(readNumber("1.2.3"), 1.2000000476837158);
  EXPECT_EQ(readNumber("12.5"), 12.5);
  EXPECT_EQ(readNumber(".5"), 0.5);
  EXPECT_EQ(readNumber("5."), 5.0);
  EXPECT_EQ(readNumber("+7"), 7.0);
  EXPECT_EQ(readNumber("-3"), -3.0);
  // Only 8 digits count: these are all zeros.
  EXPECT_EQ(readNumber("0.000000001"), 0.0);
  // Three 0.01 steps and one 0.1 step, each rounded to 32 bits, end one unit below the
  // 32-bit value nearest to 0.1234567.
  EXPECT_EQ(readNumber("0.1234567"), 0.1234566941857338);
  EXPECT_EQ(readNumber("1.2345677"), 1.234567642211914);
  // 9th digit after the point is dropped; 9th and 10th before it scale by 10 each.
  EXPECT_EQ(readNumber("1.23456789"), readNumber("1.2345678"));
  EXPECT_EQ(readNumber("9999999999"), 1e10);
  // Eight digits above 2^24 are rounded to 32 bits before the first product: 20760199
  // becomes 20760200. Unrounded (as x87 registers would keep it) this gave
  // 20760.19921875 and -9.479640007019043.
  EXPECT_EQ(readNumber("20760.199"), 20760.201171875);
  EXPECT_EQ(readNumber("-9.4796394325060957"), -9.4796390533447266);
}

TEST(ReadFloat, PositionEndsAtTheByteThatEndedTheNumber) {
  uint8_t end = 0;
  EXPECT_EQ(readNumber("12.5Y", &end), 12.5);
  EXPECT_EQ(end, 4);
  EXPECT_EQ(readNumber("1.2.3", &end), 1.2000000476837158);
  EXPECT_EQ(end, 3);

  uint8_t position = 1;
  float value = 0;
  ASSERT_TRUE(read_float("X-0.5 ", position, value));
  EXPECT_EQ(value, -0.5f);
  EXPECT_EQ(position, 5);
}

TEST(ReadFloat, FailsWithoutADigitAndChangesNothing) {
  for (const char* text : {"", "-", "+", ".", "-.", "+-1", " 5", "e5", "--1"}) {
    uint8_t position = 0;
    float value = 42.0f;
    EXPECT_FALSE(read_float(text, position, value)) << text;
    EXPECT_EQ(position, 0) << text;
    EXPECT_EQ(value, 42.0f) << text;
  }
}

TEST(ReadFloat, NeverReadsPastAnEightBitPosition) {
  std::string digits(300, '1');
  uint8_t position = 0;
  float value = 0;
  ASSERT_TRUE(read_float(digits.c_str(), position, value));
  EXPECT_EQ(position, 255);
  EXPECT_TRUE(std::isinf(value) || value > 1e38f);
}

TEST_F(RequestSlot, FirstAcceptedLineFillsTheSlotAndEveryLaterLineIsRejected) {
  EXPECT_TRUE(parse_line("X12.5Y-3Z0.1"));
  tcp_request filled = slot();
  EXPECT_EQ(filled.pending, 1);
  EXPECT_EQ(filled.X, 12.5);
  EXPECT_EQ(filled.Y, -3.0);
  EXPECT_EQ(filled.Z, 0.10000000149011612);

  for (const char* later : {"X1", "@1", "x5", "X", "\nY2"}) {
    EXPECT_FALSE(parse_line(later)) << later;
  }
  tcp_request after = slot();
  EXPECT_EQ(after.X, 12.5) << "a rejected line is not read at all";
  EXPECT_EQ(after.mode, 0);
}

TEST_F(RequestSlot, LinesRejectedForAMissingNumberKeepWhatWasStored) {
  for (const char* line : {"", "X", "X-", "X.", "X+", "X 5", "X+-5", "@"}) {
    EXPECT_FALSE(parse_line(line)) << "[" << line << "]";
  }
  EXPECT_EQ(slot().pending, 0);

  EXPECT_FALSE(parse_line("X5Y"));
  EXPECT_EQ(slot().X, 5.0) << "fields before the failing one stay";
  EXPECT_EQ(slot().pending, 0);
  EXPECT_TRUE(parse_line("Z1")) << "still open for an accepted line";
  EXPECT_EQ(slot().X, 5.0);
  EXPECT_EQ(slot().Z, 1.0);
}

TEST_F(RequestSlot, TheRunOfFieldsEndsAtTheFirstByteThatIsNoFieldLetter) {
  struct Case {
    const char* line;
    double x;
  } cases[] = {
      {"X1 Y2", 1.0}, {"X1e5", 1.0}, {"X1E5", 1.0}, {"G1X5", 5.0},   {"X1.2.3", 1.2000000476837158},
      {"x5", 0.0},    {"5X1", 0.0},  {"\nY2", 0.0}, {"X2\tX3", 2.0}, {"A1B2W3X4[", 4.0},
  };
  for (const Case& c : cases) {
    tallymark::server::detail::resetRequest();
    EXPECT_TRUE(parse_line(c.line)) << c.line;
    tcp_request r = slot();
    EXPECT_EQ(r.pending, 1) << c.line;
    EXPECT_EQ(r.X, c.x) << c.line;
    EXPECT_EQ(r.Y, 0.0) << c.line;
  }
}

TEST_F(RequestSlot, ModeTakesTheLowEightBitsOfTheWholePart) {
  struct Case {
    const char* line;
    int32_t mode;  // starting from mode 1
  } cases[] = {
      {"@0", 0},
      {"@1", 1},
      {"@3", 3},
      {"@1.9", 1},
      {"@256", 0},
      {"@259", 3},
      {"@2", 1},
      {"@4", 1},
      {"@257", 1},
      {"@-0.5", 0},
      {"@+3", 3},
      // Negative or beyond 32 bits: no mode is selected.
      {"@-1", 1},
      {"@-255", 1},
      {"@-253", 1},
      {"@5000000000", 1},
      {"@8589934595", 1},
      // 8 significant digits and 32-bit products make this 4294967040: low byte 0.
      {"@4294967296", 0},
  };
  for (const Case& c : cases) {
    tallymark::server::detail::resetRequest();
    EXPECT_TRUE(parse_line(std::string("@1") + c.line)) << c.line;
    EXPECT_EQ(slot().mode, c.mode) << c.line;
  }
}

TEST_F(RequestSlot, LinesLongerThan255BytesAreRejectedUnread) {
  std::string longest = "X1" + std::string(253, ' ');
  ASSERT_EQ(longest.size(), 255u);
  std::string tooLong = "X2" + std::string(254, ' ');
  EXPECT_FALSE(parse_line(tooLong));
  EXPECT_EQ(slot().X, 0.0);
  EXPECT_TRUE(parse_line(longest));
  EXPECT_EQ(slot().X, 1.0);

  // A run of fields over all 255 bytes ends at the terminator without wrapping the
  // 8-bit position back to the start.
  tallymark::server::detail::resetRequest();
  std::string fields;
  for (int i = 0; i < 126; ++i) fields += "A1";
  fields += "X99";
  ASSERT_EQ(fields.size(), 255u);
  EXPECT_TRUE(parse_line(fields));
  EXPECT_EQ(slot().X, 99.0);
  tallymark::server::detail::resetRequest();
  EXPECT_FALSE(parse_line(fields.substr(0, 252) + "1X-")) << "a bare sign in the last byte";
}

TEST(Greeting, BytesPerCameraType) {
  EXPECT_EQ(tallymark::server::greeting(0, "ignored"), std::string("\x5B\x33\x0D"));
  EXPECT_EQ(tallymark::server::greeting(2, "ignored"), std::string("\x5B\x35\x0D"));
  EXPECT_EQ(tallymark::server::greeting(1, "cam1"), "[4*cam1");
  EXPECT_EQ(tallymark::server::greeting(1, ""), "[4*");
  EXPECT_EQ(tallymark::server::greeting(3, "cam1"), "");
  EXPECT_EQ(tallymark::server::greeting(-1, "cam1"), "");

  std::string longPath(5000, 'p');
  EXPECT_EQ(tallymark::server::greeting(1, longPath), "[4*" + longPath)
      << "a long path is sent whole";
  EXPECT_EQ(tallymark::server::greeting(1, std::string("ab\0cd", 5)), "[4*ab");
}

TEST(Greeting, InvalidReplyBytes) {
  EXPECT_EQ(std::string(tallymark::server::kInvalidReply, tallymark::server::kInvalidReplySize),
            std::string("\x23\x49\x6E\x76\x61\x6C\x69\x64\x2E\x0D\x0A"));
}

}  // namespace

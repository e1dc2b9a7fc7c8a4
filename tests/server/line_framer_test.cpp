// Line framing over one connection's received bytes.
#include "server/line_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tallymark::server::LineFramer;

// Feeds `pieces` as separate receives and returns every line taken after each one,
// overlong lines shown as "<overlong>".
std::vector<std::string> frame(LineFramer& framer, const std::vector<std::string>& pieces) {
  std::vector<std::string> lines;
  for (const std::string& piece : pieces) {
    framer.receive(piece.data(), piece.size());
    std::string line;
    bool overlong = false;
    while (framer.readLine(line, overlong)) lines.push_back(overlong ? "<overlong>" : line);
  }
  return lines;
}

std::vector<std::string> frame(const std::vector<std::string>& pieces) {
  LineFramer framer;
  return frame(framer, pieces);
}

using Lines = std::vector<std::string>;

TEST(LineFramer, CrEndsALineAndTakesTheByteAfterIt) {
  EXPECT_EQ(frame({"X1\r\nY2\r\n"}), (Lines{"X1", "Y2"}));
  EXPECT_EQ(frame({"X1\rY2\r\n"}), (Lines{"X1", "2"})) << "the Y goes with the CR";
  EXPECT_EQ(frame({"X1\r", "\nY2\r\n"}), (Lines{"X1", "\nY2"}))
      << "a CR LF split across receives leaves the LF leading the next line";
  EXPECT_EQ(frame({"X1\r\n", "Y2\r", "\n"}), (Lines{"X1", "Y2"}));
}

TEST(LineFramer, TextWithoutACrWaits) {
  LineFramer framer;
  EXPECT_EQ(frame(framer, {"X1\n", "Y"}), Lines{});
  EXPECT_EQ(framer.pending(), "X1\nY");
  EXPECT_EQ(frame(framer, {"2\r\n"}), Lines{"X1\nY2"});
  EXPECT_EQ(framer.pending(), "");
}

TEST(LineFramer, BytesAfterANulInOneReceiveAreDropped) {
  LineFramer framer;
  EXPECT_EQ(frame(framer, {std::string("X1\0Z5\r\n", 7)}), Lines{});
  EXPECT_EQ(framer.pending(), "X1");
  EXPECT_EQ(frame(framer, {"Y2\r\n"}), Lines{"X1Y2"});
  EXPECT_EQ(frame({std::string("\0X1\r\n", 5), "Y2\r\n"}), Lines{"Y2"});
}

TEST(LineFramer, EmptyLinesAreRemovedSilentlyAndTheLinesBehindThemServed) {
  EXPECT_EQ(frame({"\r\nX1\r\n"}), Lines{"X1"});
  EXPECT_EQ(frame({"\r\n\r\n\r\nX1\r\nY2\r\n"}), (Lines{"X1", "Y2"}));
  EXPECT_EQ(frame({"\rZX1\r\n"}), Lines{"X1"}) << "the byte after the CR goes with it";
  EXPECT_EQ(frame({"\r", "X1\r\n"}), Lines{"X1"});
}

TEST(LineFramer, FloodWithoutCrStaysWithinTheCapAndIsRejectedOnce) {
  LineFramer framer;
  std::string chunk(512, 'A');
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(frame(framer, {chunk}), Lines{});
    ASSERT_LE(framer.pending().size(), LineFramer::kMaxPending);
  }
  EXPECT_EQ(frame(framer, {"AAAA\r\nX1\r\n"}), (Lines{"<overlong>", "X1"}));
  EXPECT_EQ(frame(framer, {"Y2\r\n"}), Lines{"Y2"}) << "back to normal framing";
}

TEST(LineFramer, TextUpToTheCapIsKept) {
  LineFramer framer;
  std::string exact(LineFramer::kMaxPending, 'B');
  EXPECT_EQ(frame(framer, {exact}), Lines{});
  EXPECT_EQ(framer.pending().size(), LineFramer::kMaxPending);
  EXPECT_EQ(frame(framer, {"\r\n"}), Lines{exact});

  // One byte more, and the line is cut away up to its CR in a later receive.
  EXPECT_EQ(frame(framer, {exact + "B", "more", "still\r\n", "X1\r\n"}),
            (Lines{"<overlong>", "X1"}));
}

}  // namespace

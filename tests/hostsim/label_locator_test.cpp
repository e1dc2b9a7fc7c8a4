#include "label_locator.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tallymark::hostsim {
namespace {

ControlInfo control(const char* cls, const char* text, int x, int y, int w, int h) {
  return ControlInfo{cls, text, x, y, x + w, y + h};
}

// The counter window as a Win32 program sees it, in screen coordinates: the window at
// (100, 50), the header band, the tab page below it.
std::vector<ControlInfo> counterWindow() {
  const int px = 104, py = 50 + 89 + 4 + 22;  // page origin
  return {
      control("Static", "", 109, 50, 86, 47),                  // pictureBox1
      control("Static", "BỘ ĐẾM SẢN PHẨM", 229, 73, 251, 29),  // label8
      control("Static", "Orvane PC-base CNC", 145, 113, 119, 13),
      control("SysTabControl32", "", 100, 143, 380, 331),
      control("Static", "42", px + 7, py + 3, 315, 108),  // lblCountVal
      control("Button", "RESET", px + 68, py + 124, 82, 46),
      control("Static", "Total:", px + 33, py + 205, 94, 33),
      control("Static", "1042", px + 122, py + 204, 100, 33),  // lblTotalCount
      control("Static", "Last Reset:", px + 15, py + 238, 112, 24),
      control("Static", "12/8/2026 4:30:00 PM", px + 123, py + 237, 77, 25),
      control("Static", "DROs used: 1500,1501,1502", px + 18, py + 278, 146, 13),
      control("Static", "Last run: 12.3 s", px + 166, py + 136, 190, 22),  // right of RESET
      control("Static", "Run log: held", px + 7, py + 172, 362, 30),       // lblStatus
  };
}

std::string textOf(const std::vector<ControlInfo>& controls, const char* name) {
  std::string why;
  auto index = locateLabel(controls, name, why);
  return index ? controls[*index].text : "<" + why + ">";
}

TEST(LabelLocator, FindsEachFigureByItsFixedNeighbour) {
  auto controls = counterWindow();
  EXPECT_EQ(textOf(controls, "lblCountVal"), "42");
  EXPECT_EQ(textOf(controls, "lblTotalCount"), "1042");
  EXPECT_EQ(textOf(controls, "lblLastTimeReset"), "12/8/2026 4:30:00 PM");
  EXPECT_EQ(textOf(controls, "lblLastRun"), "Last run: 12.3 s");
  EXPECT_EQ(textOf(controls, "lblStatus"), "Run log: held");
  controls.back().text.clear();  // all is well: there, empty
  EXPECT_EQ(textOf(controls, "lblStatus"), "");
  controls.pop_back();
  EXPECT_EQ(textOf(controls, "lblStatus"), "<no label between RESET and \"Total:\">");
}

// The batch labels sit between RESET and the total; they must not be taken for the
// figures next to them, and are found only while they show text.
TEST(LabelLocator, TheBatchLabelsAreFoundByTheirTextAndDisturbNoOtherFigure) {
  auto controls = counterWindow();
  EXPECT_EQ(textOf(controls, "lblRequired"), "<no label \"Required: ...\">");
  const int px = 104, py = 50 + 89 + 4 + 22;
  controls.push_back(control("Static", "Required: 5  Remaining: 0", px + 15, py + 180, 300, 20));
  controls.push_back(control("Static", "Batch complete", px + 166, py + 159, 120, 20));
  controls.push_back(control("Static", "", px + 200, py + 205, 10, 10));  // a hidden, empty one
  EXPECT_EQ(textOf(controls, "lblRequired"), "Required: 5  Remaining: 0");
  EXPECT_EQ(textOf(controls, "lblBatchComplete"), "Batch complete");
  EXPECT_EQ(textOf(controls, "lblCountVal"), "42");
  EXPECT_EQ(textOf(controls, "lblTotalCount"), "1042");
  EXPECT_EQ(textOf(controls, "lblLastTimeReset"), "12/8/2026 4:30:00 PM");
}

TEST(LabelLocator, AWidenedFigureAndAnotherOrderOfControlsChangeNothing) {
  auto controls = counterWindow();
  controls[7].right += 120;  // a six-digit total widens its label
  controls[7].text = "1000042";
  std::reverse(controls.begin(), controls.end());
  EXPECT_EQ(textOf(controls, "lblTotalCount"), "1000042");
  EXPECT_EQ(textOf(controls, "lblCountVal"), "42");
}

TEST(LabelLocator, SaysWhatIsMissing) {
  auto controls = counterWindow();
  std::string why;
  EXPECT_FALSE(locateLabel(controls, "label9", why));
  EXPECT_NE(why.find("unknown label"), std::string::npos);
  controls[5].text = "Reset";  // the button's text is exact
  EXPECT_FALSE(locateLabel(controls, "lblCountVal", why));
  EXPECT_NE(why.find("RESET"), std::string::npos);
  EXPECT_FALSE(locateLabel({control("Static", "Total:", 0, 0, 50, 20)}, "lblTotalCount", why));
  EXPECT_NE(why.find("right of"), std::string::npos);
}

TEST(LabelLocator, ALabelOnAnotherRowOrLeftOfTheAnchorIsNotTheFigure) {
  std::vector<ControlInfo> controls = {
      control("Static", "Total:", 100, 100, 90, 30),
      control("Static", "above", 200, 60, 90, 30),
      control("Static", "left", 10, 100, 80, 30),
      control("Button", "5", 200, 100, 50, 30),
  };
  std::string why;
  EXPECT_FALSE(locateLabel(controls, "lblTotalCount", why));
}

}  // namespace
}  // namespace tallymark::hostsim

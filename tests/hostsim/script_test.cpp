#include "script.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tallymark::hostsim {
namespace {

TEST(Script, ReadsEveryKindOfStep) {
  Script s = parseScript(
      "# a comment\n"
      "\n"
      "runs 5 seconds 1.5 pause 0.5 qualifier 1\r\n"
      "runs 2\n"
      "dro 22 -1.5\n"
      "led 804 on\n"
      "menu Tally_Mark\n"
      "config\n"
      "reset yes\n"
      "reset no\n"
      "wait 250\n"
      "screenshot \"host window\" out/counter.png\n"
      "expect dro 1500 5\n"
      "expect dro 1502 > 40000\n"
      "expect label lblLastTimeReset 12/8/2026  4:30:00 PM \n"
      "expect label lblCountVal != 00000\n"
      "expect automation\n"
      "  quit\n");
  ASSERT_EQ(s.error, "");
  ASSERT_EQ(s.steps.size(), 16u);
  const Step& runs = s.steps[0];
  EXPECT_EQ(runs.kind, StepKind::Runs);
  EXPECT_EQ(runs.line, 3);
  EXPECT_EQ(runs.number, 5);
  EXPECT_EQ(runs.seconds, 1.5);
  EXPECT_EQ(runs.pause, 0.5);
  EXPECT_TRUE(runs.hasQualifier);
  EXPECT_EQ(runs.qualifier, 1.0);
  EXPECT_FALSE(s.steps[1].hasQualifier);
  EXPECT_EQ(s.steps[2].number, 22);
  EXPECT_EQ(s.steps[2].value, -1.5);
  EXPECT_TRUE(s.steps[3].yes);
  EXPECT_EQ(s.steps[4].text, "Tally_Mark");
  EXPECT_EQ(s.steps[5].kind, StepKind::Config);
  EXPECT_TRUE(s.steps[6].yes);
  EXPECT_FALSE(s.steps[7].yes);
  EXPECT_EQ(s.steps[8].number, 250);
  EXPECT_EQ(s.steps[9].text, "host window");
  EXPECT_EQ(s.steps[9].file, "out/counter.png");
  EXPECT_EQ(s.steps[10].compare, Compare::Equal);
  EXPECT_EQ(s.steps[11].compare, Compare::Greater);
  EXPECT_EQ(s.steps[11].value, 40000.0);
  EXPECT_EQ(s.steps[12].text, "lblLastTimeReset");
  EXPECT_EQ(s.steps[12].file, "12/8/2026  4:30:00 PM") << "the rest of the line, inner blanks kept";
  EXPECT_EQ(s.steps[13].compare, Compare::NotEqual);
  EXPECT_EQ(s.steps[13].file, "00000");
  EXPECT_EQ(s.steps[14].kind, StepKind::ExpectAutomation);
  EXPECT_EQ(s.steps[15].kind, StepKind::Quit);
}

TEST(Script, AQuotedLabelTextKeepsItsBlanksWithoutTheQuotes) {
  Script s = parseScript("expect label lblCountVal \" 5 \"\n");
  ASSERT_EQ(s.error, "");
  EXPECT_EQ(s.steps[0].file, " 5 ");
}

TEST(Script, AnErrorNamesItsLineAndLeavesNoSteps) {
  const std::pair<const char*, const char*> cases[] = {
      {"wait 10\nfly away\n", "line 2: unknown step \"fly\""},
      {"runs 0\n", "line 1: "},
      {"runs 5 seconds\n", "needs a number"},
      {"runs 5 speed 2\n", "unknown word \"speed\""},
      {"runs 5 seconds 0.1\n", "0.3"},
      {"runs 5 pause 0.1\n", "0.3"},
      {"reset maybe\n", "reset yes|no"},
      {"wait -1\n", "wait MS"},
      {"wait 10 20\n", "wait MS"},
      {"dro 40000 1\n", "dro N VALUE"},
      {"dro 22 nan\n", "dro N VALUE"},
      {"led 804 1\n", "led N on|off"},
      {"menu\n", "menu TEXT"},
      {"quit now\n", "takes nothing"},
      {"screenshot COUNTER\n", "screenshot CAPTION FILE"},
      {"expect dro 1500 ~ 5\n", "unknown comparison"},
      {"expect dro 1500\n", "expect dro N [OP] VALUE"},
      {"expect label lblCountVal\n", "expect label NAME"},
      {"expect window COUNTER\n", "expect automation"},
      {"screenshot \"COUNTER counter.png\n", "quote is not closed"},
  };
  for (const auto& [text, message] : cases) {
    Script s = parseScript(text);
    EXPECT_NE(s.error.find(message), std::string::npos) << text << " -> " << s.error;
    EXPECT_TRUE(s.steps.empty()) << text;
  }
}

TEST(Script, ShippedDemoScriptsParse) {
  for (const char* name : {"/examples/demo.script", "/examples/batch.script"}) {
    SCOPED_TRACE(name);
    std::ifstream in(std::filesystem::u8path(std::string(TALLYMARK_SOURCE_DIR) + name));
    ASSERT_TRUE(in);
    std::ostringstream text;
    text << in.rdbuf();
    Script s = parseScript(text.str());
    EXPECT_EQ(s.error, "");
    ASSERT_FALSE(s.steps.empty());
    EXPECT_EQ(s.steps.back().kind, StepKind::Quit);
  }
}

TEST(Script, ExpectLedAndExpectCode) {
  Script s = parseScript("expect led 1050 on\nexpect led -3 off\nexpect code M98 P9000\n");
  ASSERT_EQ(s.error, "");
  ASSERT_EQ(s.steps.size(), 3u);
  EXPECT_EQ(s.steps[0].kind, StepKind::ExpectLed);
  EXPECT_EQ(s.steps[0].number, 1050);
  EXPECT_TRUE(s.steps[0].yes);
  EXPECT_FALSE(s.steps[1].yes);
  EXPECT_EQ(s.steps[2].kind, StepKind::ExpectCode);
  EXPECT_EQ(s.steps[2].file, "M98 P9000");
  for (const char* bad :
       {"expect led 1050", "expect led x on", "expect led 5 lit", "expect code"}) {
    EXPECT_NE(parseScript(bad).error, "") << bad;
  }
}

TEST(Script, ComparisonsToleratesRoundingOnlyForEquality) {
  EXPECT_TRUE(compareValues(5.0, Compare::Equal, 5.0));
  EXPECT_TRUE(compareValues(46364.68421296296, Compare::Equal, 46364.684212962966));
  EXPECT_FALSE(compareValues(5.0, Compare::Equal, 5.001));
  EXPECT_TRUE(compareValues(5.0, Compare::NotEqual, 4.0));
  EXPECT_TRUE(compareValues(5.0, Compare::GreaterOrEqual, 5.0));
  EXPECT_FALSE(compareValues(5.0, Compare::Greater, 5.0));
  EXPECT_TRUE(compareValues(4.0, Compare::Less, 5.0));
  EXPECT_FALSE(compareValues(std::nan(""), Compare::Equal, 0.0));
  EXPECT_FALSE(compareValues(std::nan(""), Compare::GreaterOrEqual, 0.0));
}

}  // namespace
}  // namespace tallymark::hostsim

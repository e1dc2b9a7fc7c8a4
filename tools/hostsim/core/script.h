// The substitute host's scripts: one step per line, '#' starts a comment.
//
//   runs N [seconds T] [pause P] [qualifier Q]   N production runs (DRO 22 set to Q first)
//   dro N VALUE                                  set a DRO as the operator would
//   led N on|off                                 light or put out an LED
//   menu TEXT                                    choose the menu item TEXT
//   config                                       ask the plug-in to configure; close its notice
//   reset yes|no                                 press RESET in "COUNTER", answer "Confirm?"
//   wait MS                                      let the host run for MS milliseconds
//   screenshot CAPTION FILE                      save the window CAPTION as a PNG
//   expect dro N [OP] VALUE                      OP one of = != < <= > >= (default =)
//   expect led N on|off                          an LED as the plug-in left it
//   expect code TEXT                             the plug-in handed the host this line of code
//   expect label NAME [!=] TEXT                  a figure label of the counter window
//   expect automation                            the plug-in asked for "GetScriptDispatch"
//   quit                                         stop the plug-in and end the host
//
// Words with spaces go in double quotes. TEXT is the rest of the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallymark::hostsim {

enum class StepKind {
  Runs,
  SetDro,
  SetLed,
  Menu,
  Config,
  Reset,
  Wait,
  Screenshot,
  ExpectDro,
  ExpectLed,
  ExpectCode,
  ExpectLabel,
  ExpectAutomation,
  Quit
};

enum class Compare { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

struct Step {
  StepKind kind = StepKind::Quit;
  int line = 0;
  std::string source;  // the line as written, for messages
  int number = 0;      // runs: N; dro/led: the item number; wait: milliseconds
  double value = 0.0;  // dro, expect dro: the value
  double seconds = 1.0, pause = 0.5;
  bool hasQualifier = false;
  double qualifier = 0.0;
  bool yes = false;  // reset: the answer; led: on
  Compare compare = Compare::Equal;
  std::string text;  // menu: item; screenshot: caption; expect label: name
  std::string file;  // screenshot: file; expect label, expect code: the expected text
};

struct Script {
  std::vector<Step> steps;
  std::string error;  // "line N: ..." when the script cannot be used; steps then empty
};

Script parseScript(std::string_view text);

bool compareValues(double actual, Compare compare, double expected);
const char* compareSymbol(Compare compare);

}  // namespace tallymark::hostsim

// The text lines of the diagnostic dump, formatted without the console so that their
// exact text can be checked.
#pragma once

#include <cstddef>

namespace tallymark::diag {

// A console line holds at most kConsoleLineSize - 1 characters; longer text is cut.
constexpr std::size_t kConsoleLineSize = 256;

struct AxisDumpValues {
  char letter;
  double vel, acc, steps, epr;
  unsigned char dir, slave;
  int slaveA, slimHi, slimLo;
};

// Each writes one zero-terminated line into `line`, cut at kConsoleLineSize - 1
// characters (a huge floating-point value can make an axis line longer), and returns the
// length written.
std::size_t formatAxisLine(char (&line)[kConsoleLineSize], const AxisDumpValues& axis);
std::size_t formatFileLine(char (&line)[kConsoleLineSize], unsigned char digifileOpen,
                           unsigned char loaded);

}  // namespace tallymark::diag

#include "diag/dump_lines.h"

#include <cstdio>

namespace tallymark::diag {
namespace {

// snprintf never writes past the buffer and reports the length the whole text would
// have had; the length actually kept is at most one less than the buffer.
std::size_t keptLength(char (&line)[kConsoleLineSize], int wanted) {
  if (wanted < 0) {
    line[0] = '\0';
    return 0;
  }
  std::size_t length = static_cast<std::size_t>(wanted);
  return length < kConsoleLineSize ? length : kConsoleLineSize - 1;
}

}  // namespace

std::size_t formatAxisLine(char (&line)[kConsoleLineSize], const AxisDumpValues& axis) {
  int wanted = std::snprintf(
      line, kConsoleLineSize,
      "%c Vel:%8.4f Acc:%8.4f Steps:%12.4f Epr:%8.4f Dir:%d Slave:%d SlaveA:%d SlimHi:%8d "
      "SlimLo:%8d",
      axis.letter, axis.vel, axis.acc, axis.steps, axis.epr, axis.dir, axis.slave, axis.slaveA,
      axis.slimHi, axis.slimLo);
  return keptLength(line, wanted);
}

std::size_t formatFileLine(char (&line)[kConsoleLineSize], unsigned char digifileOpen,
                           unsigned char loaded) {
  int wanted = std::snprintf(line, kConsoleLineSize, " Infor: DigifileOpen %d loaded: %d ",
                             digifileOpen, loaded);
  return keptLength(line, wanted);
}

}  // namespace tallymark::diag

// Finds the counter window's figure labels among its controls from what any Win32
// program can see of them: class, text and place. The plug-in's controls carry no names
// outside the plug-in, but each figure sits in a fixed relation to a fixed text: the
// count above the RESET button, the total right of "Total:", the last reset time right
// of "Last Reset:". The last run's cycle time is the label that begins "Last run:", the
// batch target the one that begins "Required:", and "Batch complete" is its own text;
// the status line lies between RESET and "Total:".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallymark::hostsim {

struct ControlInfo {
  std::string className;
  std::string text;                              // UTF-8
  int left = 0, top = 0, right = 0, bottom = 0;  // screen coordinates
};

// The names accepted by locateLabel.
const std::vector<std::string>& figureLabelNames();

// Index into `controls` of the label `name` (lblCountVal, lblTotalCount,
// lblLastTimeReset, lblLastRun, lblRequired, lblBatchComplete or lblStatus), or nothing
// with `why` saying what was missing.
std::optional<size_t> locateLabel(const std::vector<ControlInfo>& controls, std::string_view name,
                                  std::string& why);

}  // namespace tallymark::hostsim

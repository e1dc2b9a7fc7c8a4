#include "label_locator.h"

#include <cctype>

namespace tallymark::hostsim {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool isLabel(const ControlInfo& c) {
  return equalsIgnoringCase(c.className, "Static");
}

std::optional<size_t> findByText(const std::vector<ControlInfo>& controls, std::string_view text,
                                 bool button) {
  for (size_t i = 0; i < controls.size(); ++i) {
    const bool classMatches =
        button ? equalsIgnoringCase(controls[i].className, "Button") : isLabel(controls[i]);
    if (classMatches && controls[i].text == text) return i;
  }
  return std::nullopt;
}

// The label nearest to the right of `anchor` whose vertical middle lies within the
// anchor's height: the value on the same row.
std::optional<size_t> rightOf(const std::vector<ControlInfo>& controls, size_t anchor) {
  const ControlInfo& a = controls[anchor];
  std::optional<size_t> best;
  for (size_t i = 0; i < controls.size(); ++i) {
    const ControlInfo& c = controls[i];
    if (i == anchor || !isLabel(c)) continue;
    const int middle = (c.top + c.bottom) / 2;
    if (middle < a.top || middle > a.bottom || c.left < (a.left + a.right) / 2) continue;
    if (!best || c.left < controls[*best].left) best = i;
  }
  return best;
}

// The label closest above `anchor` that overlaps it horizontally.
std::optional<size_t> above(const std::vector<ControlInfo>& controls, size_t anchor) {
  const ControlInfo& a = controls[anchor];
  std::optional<size_t> best;
  for (size_t i = 0; i < controls.size(); ++i) {
    const ControlInfo& c = controls[i];
    if (i == anchor || !isLabel(c)) continue;
    if (c.bottom > a.top + 2 || c.right <= a.left || c.left >= a.right) continue;
    if (!best || c.bottom > controls[*best].bottom) best = i;
  }
  return best;
}

// The status line: the label whose top lies just below the RESET button, above "Total:",
// overlapping the button horizontally. It is there, empty and hidden, while all is well.
std::optional<size_t> statusLine(const std::vector<ControlInfo>& controls, std::string& why) {
  auto reset = findByText(controls, "RESET", true);
  auto total = findByText(controls, "Total:", false);
  if (!reset || !total) {
    why = reset ? "no label \"Total:\"" : "no button \"RESET\"";
    return std::nullopt;
  }
  const ControlInfo& r = controls[*reset];
  // The upper half of the gap: the total's figure starts a pixel above its caption.
  const int lowest = (r.bottom + controls[*total].top) / 2;
  for (size_t i = 0; i < controls.size(); ++i) {
    const ControlInfo& c = controls[i];
    if (!isLabel(c) || c.top < r.bottom || c.top >= lowest) continue;
    if (c.right > r.left && c.left < r.right) return i;
  }
  why = "no label between RESET and \"Total:\"";
  return std::nullopt;
}

}  // namespace

const std::vector<std::string>& figureLabelNames() {
  static const std::vector<std::string> names = {"lblCountVal", "lblTotalCount", "lblLastTimeReset",
                                                 "lblLastRun",  "lblRequired",   "lblBatchComplete",
                                                 "lblStatus"};
  return names;
}

std::optional<size_t> locateLabel(const std::vector<ControlInfo>& controls, std::string_view name,
                                  std::string& why) {
  std::optional<size_t> anchor;
  std::string anchorText;
  bool anchorIsButton = false;
  if (name == "lblCountVal") {
    anchorText = "RESET";
    anchorIsButton = true;
  } else if (name == "lblTotalCount") {
    anchorText = "Total:";
  } else if (name == "lblLastTimeReset") {
    anchorText = "Last Reset:";
  } else if (name == "lblLastRun" || name == "lblRequired" || name == "lblBatchComplete") {
    // Caption and figure in one label; the batch labels are shown only while they hold
    // text.
    const std::string prefix = name == "lblLastRun"    ? "Last run:"
                               : name == "lblRequired" ? "Required:"
                                                       : "Batch complete";
    for (size_t i = 0; i < controls.size(); ++i)
      if (isLabel(controls[i]) && controls[i].text.rfind(prefix, 0) == 0) return i;
    why = "no label \"" + prefix + " ...\"";
    return std::nullopt;
  } else if (name == "lblStatus") {
    return statusLine(controls, why);
  } else {
    why = "unknown label " + std::string(name) +
          " (known: lblCountVal, lblTotalCount, lblLastTimeReset, lblLastRun, lblRequired, "
          "lblBatchComplete, lblStatus)";
    return std::nullopt;
  }
  anchor = findByText(controls, anchorText, anchorIsButton);
  if (!anchor) {
    why = std::string("no ") + (anchorIsButton ? "button" : "label") + " \"" + anchorText + "\"";
    return std::nullopt;
  }
  auto found = anchorIsButton ? above(controls, *anchor) : rightOf(controls, *anchor);
  if (!found)
    why = "no label " + std::string(anchorIsButton ? "above" : "right of") + " \"" + anchorText +
          "\"";
  return found;
}

}  // namespace tallymark::hostsim

// A text label of the counter window as the portable code sees it: its text, and a hook
// that is told only when the text really changes (ten ticks a second must not flicker
// the real control, and the unchanged case must not allocate).
#pragma once

#include <charconv>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace tallymark::counter {

class Label {
 public:
  explicit Label(std::string text = {}) : text_(std::move(text)) {}

  const std::string& text() const { return text_; }

  // Sets the UTF-8 text; returns true when it changed (and the view was told).
  bool setText(std::string_view text) {
    if (text == text_) return false;
    hasNumber_ = false;
    text_.assign(text.data(), text.size());
    if (onChanged_) onChanged_(text_);
    return true;
  }

  // Shows a whole number in plain decimal digits. The update tick calls this ten times a
  // second with mostly the same figure, so the number is compared before it is formatted.
  // The comparison stays small enough to inline into the tick; formatting is out of line.
  bool setNumber(int32_t value) {
    if (hasNumber_ && value == number_) return false;
    return showNumber(value);
  }

  // The one hook, called with the new text after each change. The counter window takes
  // it for its own labels and passes each change on to its view.
  void bind(std::function<void(const std::string&)> onChanged) {
    onChanged_ = std::move(onChanged);
  }

 private:
  [[gnu::noinline]] bool showNumber(int32_t value) {
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    bool changed = setText(std::string_view(digits, static_cast<size_t>(result.ptr - digits)));
    hasNumber_ = true;
    number_ = value;
    return changed;
  }

  std::string text_;
  bool hasNumber_ = false;  // text_ is the decimal form of number_
  int32_t number_ = 0;
  std::function<void(const std::string&)> onChanged_;
};

}  // namespace tallymark::counter

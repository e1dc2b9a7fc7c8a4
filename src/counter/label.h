// A text label of the counter window as the portable code sees it: its text, and a view
// that is told only when the text really changes (ten ticks a second must not flicker
// the real control, and the unchanged case must not allocate).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

class Label {
 public:
  explicit Label(std::string text = {}) : text_(std::move(text)) {}

  const std::string& text() const { return text_; }

  // Sets the UTF-8 text; returns true when it changed (and the view was told).
  bool setText(std::string_view text) {
    if (text == text_) return false;
    text_.assign(text.data(), text.size());
    if (onChanged_) onChanged_(text_);
    return true;
  }

  // The view's hook, called with the new text after each change.
  void bind(std::function<void(const std::string&)> onChanged) { onChanged_ = std::move(onChanged); }

 private:
  std::string text_;
  std::function<void(const std::string&)> onChanged_;
};

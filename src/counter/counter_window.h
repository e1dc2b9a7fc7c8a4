// The counter window: the operator's view of the count, and the holder of the counter
// rule's state. One instance, created at PostInitControl, lives until the module ends.
// Every member is used on the host's user-interface thread only.
//
// The window's state, texts and handlers are portable; a CounterView draws them (real
// Win32 controls in the DLL, a headless stand-in on Linux) and turns the operator's
// actions back into calls on the handlers below.
#pragma once

#include <cstdint>
#include <memory>

#include "counter/label.h"

class DAZADA_RUVAZIDU;

namespace tallymark::counter {

// What the window needs from the platform's view of it. Made by createCounterView, one
// file per platform; owned by the window.
class CounterView {
 public:
  virtual ~CounterView() = default;
  // Makes the window visible (if it is not) and gives it the input focus.
  virtual void showAndFocus() = 0;
  virtual void hide() = 0;
  virtual bool visible() const = 0;
  virtual bool focused() const = 0;
  // The native window (an HWND on Windows) that owns the window's message boxes, or null.
  virtual void* nativeHandle() const = 0;
};

// Builds the view of `window`, hidden, binds it to the window's labels and starts the
// 400 ms refresh that calls window.timer2_Tick(). Never null.
std::unique_ptr<CounterView> createCounterView(DAZADA_RUVAZIDU& window);

}  // namespace tallymark::counter

class DAZADA_RUVAZIDU {
 public:
  using Label = tallymark::counter::Label;
  using CounterView = tallymark::counter::CounterView;

  static constexpr char kCaption[] = "COUNTER";
  static constexpr char kTabText[] = "COUNTER";
  static constexpr char kResetText[] = "RESET";
  static constexpr char kConfirmText[] = "Are you sure to reset?";
  static constexpr char kConfirmCaption[] = "Confirm?";
  // Shown by the last-reset label when DRO 1502 holds no date (NaN or out of range).
  static constexpr char kNoDateText[] = "(invalid date)";
  static constexpr int kTimer2IntervalMs = 400;
  static constexpr char kNoLastRunText[] = "Last run: -";

  // Builds the view, hidden, with the timer running.
  DAZADA_RUVAZIDU();
  virtual ~DAZADA_RUVAZIDU();
  DAZADA_RUVAZIDU(const DAZADA_RUVAZIDU&) = delete;
  DAZADA_RUVAZIDU& operator=(const DAZADA_RUVAZIDU&) = delete;

  // Counter state (see counter_rule.h for the meaning of each field).
  bool ResetCounter = false;
  bool StartOnCheck = false;
  bool StartOnTrigger = false;
  double dtValue = 0.0;
  double dtValue2 = 0.0;
  bool ledWasLit = false;

  // Texts of the labels, UTF-8. The view is told of every change.
  Label label4{"DROs used: 1500,1501,1502"};
  Label label5{"Last Reset:"};
  Label label6{"Total:"};
  Label lblLastTimeReset{"00000"};
  Label lblTotalCount{"00000"};
  Label lblCountVal{"00000"};
  Label label7{"Orvane PC-base CNC"};
  Label label8{"BỘ ĐẾM SẢN PHẨM"};
  // The duration of the last counted run, beside the figures; not a designer control.
  Label lblLastRun{kNoLastRunText};

  // RESET: asks "Are you sure to reset?"; on Yes raises ResetCounter with the current
  // local time in dtValue. The DROs are left to the next update tick.
  void btnReset_Click();
  // Every 400 ms: shows dtValue2 as a local date and time in lblLastTimeReset.
  void timer2_Tick();
  // Any attempt to close the window: hides it instead. Returns true (close cancelled).
  bool DAZADA_RUVAZIDU_FormClosing();
  // Shows a counted run's duration in lblLastRun ("Last run: 12.3 s").
  void showLastRun(uint32_t milliseconds);

  // The menu item: visible, with the focus.
  void ShowAndFocus() { view_->showAndFocus(); }
  bool Visible() const { return view_->visible(); }
  bool Focused() const { return view_->focused(); }
  CounterView& view() const { return *view_; }

 private:
  std::unique_ptr<CounterView> view_;
};

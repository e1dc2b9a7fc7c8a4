// The counter window: the operator's view of the count, and the holder of the counter
// rule's state. One instance, created at PostInitControl, lives until the module ends.
// Every member is used on the host's user-interface thread only.
//
// DAZADA_RUVAZIDU is the window's model: its state, label texts and handlers, all
// portable. A CounterView draws it (real Win32 controls in the DLL, a headless stand-in
// on Linux) and turns the operator's actions back into calls on the handlers. The model
// is made first and works alone; the view is built for it and attached afterwards.
#pragma once

#include <cstdint>
#include <memory>

#include "counter/batch_rule.h"
#include "counter/label.h"
#include "platform/environment.h"

class DAZADA_RUVAZIDU;

namespace tallymark::counter {

// What the model needs from the platform's view of it. Made by createCounterView, one
// file per platform; owned by the model it was built for once attached to it.
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
  // Shows label.text() for `label`, one of the model's labels. The model calls this
  // after each change of a text and, on attaching the view, once for every label.
  virtual void showLabel(const Label& label) = 0;
};

// Builds a view of `model`, hidden, showing the model's current texts, with the 400 ms
// refresh running that calls model.timer2_Tick(). The view keeps a reference to
// `model` and must be attached to it and to no other. Never null.
std::unique_ptr<CounterView> createCounterView(DAZADA_RUVAZIDU& model);

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
  static constexpr char kBatchCompleteText[] = "Batch complete";

  // The model alone, with no view; see attachView. The reset's confirmation box and its
  // time come from `environment`, which must outlive the model.
  explicit DAZADA_RUVAZIDU(const tallymark::platform::Environment& environment =
                               tallymark::platform::systemEnvironment());
  virtual ~DAZADA_RUVAZIDU();
  DAZADA_RUVAZIDU(const DAZADA_RUVAZIDU&) = delete;
  DAZADA_RUVAZIDU& operator=(const DAZADA_RUVAZIDU&) = delete;

  // Attaches `view`, built for this model by createCounterView(*this), and has it show
  // the current label texts; a view attached before is destroyed. Null detaches.
  //
  // Without a view the model still counts and keeps its texts; there is nothing to
  // show: showAndFocus does nothing, visible() and focused() are false, closing is
  // cancelled all the same, and the reset confirmation has no owner window.
  void attachView(std::unique_ptr<CounterView> view);
  // The attached view, or null.
  CounterView* view() const { return view_.get(); }

  // Counter state (see counter_rule.h for the meaning of each field).
  bool ResetCounter = false;
  bool StartOnCheck = false;
  bool StartOnTrigger = false;
  double dtValue = 0.0;
  double dtValue2 = 0.0;
  bool ledWasLit = false;

  // Texts of the labels, UTF-8. The view is told of every change. Each label's hook
  // (Label::bind) belongs to the model.
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
  // The batch target (RequiredParts): "Required: 100  Remaining: 12", and "Batch
  // complete" once the count has reached it. Both empty, and not shown, while the target
  // is off.
  Label lblRequired;
  Label lblBatchComplete;
  // What is wrong just now (the run log cannot be written, a port is taken), one problem
  // a line; empty, and not shown at all, while all is well.
  Label lblStatus;

  // RESET: asks "Are you sure to reset?"; on Yes raises ResetCounter with the current
  // local time in dtValue. The DROs are left to the next update tick.
  void btnReset_Click();
  // Every 400 ms: shows dtValue2 as a local date and time in lblLastTimeReset.
  void timer2_Tick();
  // Any attempt to close the window: hides it instead. Returns true (close cancelled).
  bool DAZADA_RUVAZIDU_FormClosing();
  // Shows a counted run's duration in lblLastRun ("Last run: 12.3 s").
  void showLastRun(uint32_t milliseconds);
  // Shows the batch target of `rule` at `count`, or nothing while the rule is off. Cheap
  // when nothing changed: the tick calls it ten times a second.
  void showBatch(const tallymark::counter::BatchRule& rule, int32_t count) {
    if (rule.target() == shownTarget_ && count == shownCount_ &&
        rule.complete() == shownComplete_) {
      return;
    }
    updateBatch(rule, count);
  }

  // The menu item: visible, with the focus.
  void showAndFocus();
  bool visible() const;
  bool focused() const;

 private:
  // The labels above, for the view.
  static Label DAZADA_RUVAZIDU::*const kLabels[];

  void updateBatch(const tallymark::counter::BatchRule& rule, int32_t count);

  const tallymark::platform::Environment& environment_;
  std::unique_ptr<CounterView> view_;
  // What lblRequired and lblBatchComplete show (a target of 0: nothing).
  int32_t shownTarget_ = 0;
  int32_t shownCount_ = 0;
  bool shownComplete_ = false;
};

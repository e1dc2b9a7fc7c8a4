// The counter window without a window system: the labels keep their texts in the
// model, and the view keeps only visibility and focus. The refresh timer does not run
// by itself; whoever drives the window calls timer2_Tick.
#include <memory>

#include "counter/counter_window.h"

namespace tallymark::counter {
namespace {

class HeadlessCounterView final : public CounterView {
 public:
  void showAndFocus() override {
    visible_ = true;
    focused_ = true;
  }
  void hide() override {
    visible_ = false;
    focused_ = false;
  }
  bool visible() const override { return visible_; }
  bool focused() const override { return focused_; }
  void* nativeHandle() const override { return nullptr; }
  void showLabel(const Label&) override {}

 private:
  bool visible_ = false;
  bool focused_ = false;
};

}  // namespace

std::unique_ptr<CounterView> createCounterView(DAZADA_RUVAZIDU&) {
  return std::make_unique<HeadlessCounterView>();
}

}  // namespace tallymark::counter

// A move-only owner of one system resource (a file descriptor, a HANDLE, a GDI object):
// whatever it holds is closed exactly once, when the owner is reset, assigned over or
// destroyed. A moved-from owner holds nothing. A function that makes a resource returns
// its owner, so that an early return cannot leak it and nothing closes it by hand.
//
// `Traits` names the resource:
//   using Type = ...;                  the raw value, copied freely
//   static Type invalid() noexcept;    the value that means "nothing held"
//   static bool isValid(Type) noexcept;  false for every value that must not be closed
//   static void close(Type) noexcept;  called once per valid value given up
// Not thread-safe: one owner belongs to one thread at a time, like the raw value.
#pragma once

#include <utility>

namespace tallymark::platform {

template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() noexcept = default;
  explicit UniqueAny(Type value) noexcept : value_(value) {}
  ~UniqueAny() { reset(); }

  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::isValid(value_); }

  // Takes `value` and closes what was held before. Resetting to the value already held
  // keeps it open: closing it would leave the owner holding a closed value.
  void reset(Type value = Traits::invalid()) noexcept {
    if (value == value_) return;
    const Type old = std::exchange(value_, value);
    if (Traits::isValid(old)) Traits::close(old);
  }

  // Gives the value up without closing it; the caller then owns it.
  [[nodiscard]] Type release() noexcept { return std::exchange(value_, Traits::invalid()); }

  // For a call that hands a new value back through a pointer: closes what was held and
  // gives the place to write to.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::invalid();
};

}  // namespace tallymark::platform

// Owners of GDI objects and device contexts, for the _win32 files that draw. A window
// that is given a font (WM_SETFONT) or a brush does not take it over: the owner must
// outlive the window.
#pragma once

#include <windows.h>

#include <utility>

#include "platform/unique_any.h"

namespace tallymark::platform {

// Fonts, brushes, pens and bitmaps, deleted with DeleteObject. An object must not be
// selected into a device context when its owner lets it go (ScopedSelection below puts
// the old one back first).
template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static T invalid() noexcept { return nullptr; }
  static bool isValid(T object) noexcept { return object != nullptr; }
  static void close(T object) noexcept { DeleteObject(object); }
};
using UniqueHfont = UniqueAny<GdiObjectTraits<HFONT>>;
using UniqueHbrush = UniqueAny<GdiObjectTraits<HBRUSH>>;
using UniqueHpen = UniqueAny<GdiObjectTraits<HPEN>>;
using UniqueHbitmap = UniqueAny<GdiObjectTraits<HBITMAP>>;

// A memory device context (CreateCompatibleDC), deleted with DeleteDC.
struct HdcTraits {
  using Type = HDC;
  static HDC invalid() noexcept { return nullptr; }
  static bool isValid(HDC dc) noexcept { return dc != nullptr; }
  static void close(HDC dc) noexcept { DeleteDC(dc); }
};
using UniqueHdc = UniqueAny<HdcTraits>;

// A window's device context (GetDC), given back with ReleaseDC for the same window; null
// for the whole screen. get() is null when the system had none to give.
class WindowDc {
 public:
  WindowDc() noexcept = default;
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() { reset(); }
  WindowDc(WindowDc&& other) noexcept
      : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
  WindowDc& operator=(WindowDc&& other) noexcept {
    if (this != &other) {
      reset();
      window_ = std::exchange(other.window_, nullptr);
      dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

  void reset() noexcept {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
    dc_ = nullptr;
    window_ = nullptr;
  }

 private:
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

// Selects `object` into `dc` for the life of the scope and then puts back what was
// selected before. Nested selections in one context unwind in reverse order, as scopes
// do, so the context ends with its original objects whatever path leaves the scope.
// Declare the objects before their selection, so that they are deselected before they
// are deleted. A null object or context selects nothing.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), old_(dc != nullptr && object != nullptr ? SelectObject(dc, object) : nullptr) {
    if (old_ == HGDI_ERROR) old_ = nullptr;
  }
  ~ScopedSelection() {
    if (old_ != nullptr) SelectObject(dc_, old_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace tallymark::platform

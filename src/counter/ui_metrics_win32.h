// Fonts and layout scaling shared by the plug-in's windows (Win32 only).
//
// The windows are laid out in pixels for a 6 by 13 pixel cell of their default font
// (8.25 point "Microsoft Sans Serif" at 96 dots per inch); on other systems every
// position and size is scaled by the default font's real cell.
#pragma once

#include <windows.h>

#include "platform/gdi_win32.h"

namespace tallymark::counter::ui {

// "Microsoft Sans Serif" where it is installed and holds every glyph of the window
// texts (Vietnamese included); otherwise the first such sans serif of a short list.
const wchar_t* fontFace();

// A new font of the face above, in points at the screen's resolution; empty when the
// system has none left.
platform::UniqueHfont createFont(double points, bool bold);

// Scales design pixels to this system's, horizontally and vertically.
class Scale {
 public:
  Scale();
  int x(int designPixels) const;
  int y(int designPixels) const;

 private:
  double sx_ = 1.0;
  double sy_ = 1.0;
};

// The module these files are linked into (the DLL inside the host, not the host's
// executable), for registering window classes.
HINSTANCE moduleInstance();

// Registers a window class of this module with the arrow cursor and the button-face
// background; `withIcon` gives it the standard application icon. A second
// registration of the same name fails harmlessly.
void registerWindowClass(const wchar_t* name, WNDPROC proc, bool withIcon);

// The window's default font size.
inline constexpr double kDefaultPoints = 8.25;

// Size of `text` drawn in `font` on one line or, with `multiLine`, on its own lines.
SIZE measureText(HFONT font, const wchar_t* text, bool multiLine);

}  // namespace tallymark::counter::ui

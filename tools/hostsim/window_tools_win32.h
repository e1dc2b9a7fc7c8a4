// What a script does with the windows of this process: find them by caption, read their
// controls, find menu items, take pictures. Callable from any thread unless noted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "label_locator.h"

namespace tallymark::hostsim {

// The first top-level window of this process with exactly this caption, or null.
HWND findOwnWindow(const std::string& caption, bool visibleOnly);

struct ChildControl {
  HWND hwnd;
  ControlInfo info;
};
// Every descendant control of `window`, with class, text and screen rectangle.
std::vector<ChildControl> listControls(HWND window);

// The command identifier of the first item whose text, without '&' marks, is `text`,
// anywhere in the menu bar of `frame`; -1 when there is none.
int findMenuCommand(HWND frame, const std::string& text);

// Saves what the screen shows of `window` as a PNG. Call on the thread that owns the
// window, so that it is painted first. Returns an error text, empty on success.
std::string captureWindow(HWND window, const std::string& path);

}  // namespace tallymark::hostsim

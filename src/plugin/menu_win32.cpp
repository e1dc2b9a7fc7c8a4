// The menu item in the host's menu bar. The host's frame window is found through the
// window system, never through the host's view object (whose layout is unknown): it
// is the first top-level window of the calling thread (the host's user-interface
// thread, which calls PostInitControl) that has a menu bar.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "plugin/menu.h"
#include "plugin/plugin.h"

namespace {

constexpr char kHostMenuText[] = "PlugIn Control";
constexpr char kItemText[] = "Tally_Mark";
constexpr UINT kQueryMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU | MIIM_ID;  // 0x146

// The record the 32-bit host's menu expects (the 64-bit test build has its own size).
static_assert(sizeof(void*) != 4 || sizeof(MENUITEMINFOA) == 48, "the 32-bit MENUITEMINFOA");

BOOL CALLBACK findFrame(HWND hwnd, LPARAM result) {
  if (GetMenu(hwnd) == nullptr) return TRUE;
  *reinterpret_cast<HWND*>(result) = hwnd;
  return FALSE;
}

}  // namespace

void appendPluginMenuItem() {
  HWND frame = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findFrame, reinterpret_cast<LPARAM>(&frame));
  if (frame == nullptr) return;
  HMENU bar = GetMenu(frame);
  const int count = GetMenuItemCount(bar);
  for (int position = 0; position < count; ++position) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = kQueryMask;
    info.dwTypeData = nullptr;
    if (!GetMenuItemInfoA(bar, static_cast<UINT>(position), TRUE, &info)) continue;
    const UINT size = info.cch + 1;
    std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
    if (!text) continue;
    info.dwTypeData = text.get();
    info.cch = size;
    if (!GetMenuItemInfoA(bar, static_cast<UINT>(position), TRUE, &info)) continue;
    if (std::strcmp(text.get(), kHostMenuText) != 0) continue;
    // Only the first item with the name counts, popup or not.
    if (info.hSubMenu != nullptr) {
      InsertMenuA(info.hSubMenu, static_cast<UINT>(-1), MF_BYPOSITION,
                  static_cast<UINT_PTR>(static_cast<unsigned>(menuStart)), kItemText);
    }
    return;
  }
}

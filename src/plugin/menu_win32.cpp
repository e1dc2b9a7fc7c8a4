// The host's frame window, found through the window system, and the menu item in its
// menu bar.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "plugin/menu.h"
#include "plugin/plugin.h"

namespace tallymark::plugin {
namespace {

constexpr char kHostMenuText[] = "PlugIn Control";
constexpr char kItemText[] = "Tally_Mark";
constexpr UINT kQueryMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU | MIIM_ID;  // 0x146

// The record the 32-bit host's menu expects (the 64-bit test build has its own size).
static_assert(sizeof(void*) != 4 || sizeof(MENUITEMINFOA) == 48, "the 32-bit MENUITEMINFOA");

// The popup of the first top-level item of `bar` named exactly "PlugIn Control"; null
// when there is no such item or the first one has no popup.
HMENU pluginControlPopup(HMENU bar) {
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
    if (std::strcmp(text.get(), kHostMenuText) == 0) return info.hSubMenu;
  }
  return nullptr;
}

struct FrameSearch {
  HWND firstWithMenu = nullptr;
  HWND withPluginControl = nullptr;
};

BOOL CALLBACK findFrame(HWND hwnd, LPARAM result) {
  auto* search = reinterpret_cast<FrameSearch*>(result);
  HMENU bar = GetMenu(hwnd);
  if (bar == nullptr) return TRUE;
  if (search->firstWithMenu == nullptr) search->firstWithMenu = hwnd;
  if (pluginControlPopup(bar) == nullptr) return TRUE;
  search->withPluginControl = hwnd;
  return FALSE;
}

}  // namespace

void* findHostFrame() {
  FrameSearch search;
  EnumThreadWindows(GetCurrentThreadId(), findFrame, reinterpret_cast<LPARAM>(&search));
  return search.withPluginControl != nullptr ? search.withPluginControl : search.firstWithMenu;
}

void appendPluginMenuItem() {
  HWND frame = static_cast<HWND>(findHostFrame());
  if (frame == nullptr) return;
  HMENU popup = pluginControlPopup(GetMenu(frame));
  if (popup == nullptr) return;
  const auto id = static_cast<UINT>(menuStart);
  if (GetMenuState(popup, id, MF_BYCOMMAND) != static_cast<UINT>(-1)) return;
  InsertMenuA(popup, static_cast<UINT>(-1), MF_BYPOSITION, static_cast<UINT_PTR>(id), kItemText);
}

}  // namespace tallymark::plugin

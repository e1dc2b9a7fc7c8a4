#include "window_tools_win32.h"

#include <algorithm>

#include "platform/gdi_win32.h"
#include "platform/win32_text.h"
#include "png.h"

namespace tallymark::hostsim {

namespace {

using tallymark::platform::narrow;
using tallymark::platform::widen;

std::string windowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  length = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(length < 0 ? 0 : length));
  return narrow(text);
}

struct FindRequest {
  std::wstring caption;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK findProc(HWND hwnd, LPARAM lp) {
  auto* request = reinterpret_cast<FindRequest*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  if (request->visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
  wchar_t text[256];
  GetWindowTextW(hwnd, text, 256);
  if (request->caption != text) return TRUE;
  request->found = hwnd;
  return FALSE;
}

BOOL CALLBACK listProc(HWND hwnd, LPARAM lp) {
  auto* controls = reinterpret_cast<std::vector<ChildControl>*>(lp);
  ChildControl c{hwnd, {}};
  wchar_t cls[128];
  GetClassNameW(hwnd, cls, 128);
  c.info.className = narrow(cls);
  c.info.text = windowText(hwnd);
  RECT r;
  GetWindowRect(hwnd, &r);
  c.info.left = r.left;
  c.info.top = r.top;
  c.info.right = r.right;
  c.info.bottom = r.bottom;
  controls->push_back(std::move(c));
  return TRUE;
}

std::wstring withoutMnemonics(const wchar_t* text) {
  std::wstring out;
  for (; *text != 0; ++text)
    if (*text != L'&') out += *text;
  return out;
}

int searchMenu(HMENU menu, const std::wstring& text) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t label[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), label, 256, MF_BYPOSITION);
    HMENU sub = GetSubMenu(menu, i);
    if (sub != nullptr) {
      int id = searchMenu(sub, text);
      if (id != -1) return id;
    } else if (withoutMnemonics(label) == text || label == text) {
      return static_cast<int>(GetMenuItemID(menu, i));
    }
  }
  return -1;
}

}  // namespace

HWND findOwnWindow(const std::string& caption, bool visibleOnly) {
  FindRequest request{widen(caption), visibleOnly, nullptr};
  EnumWindows(findProc, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

std::vector<ChildControl> listControls(HWND window) {
  std::vector<ChildControl> controls;
  EnumChildWindows(window, listProc, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

int findMenuCommand(HWND frame, const std::string& text) {
  HMENU bar = GetMenu(frame);
  return bar == nullptr ? -1 : searchMenu(bar, widen(text));
}

std::string captureWindow(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT r;
  GetWindowRect(window, &r);
  // Only the part on the screen can be read back.
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, GetSystemMetrics(SM_CXSCREEN));
  r.bottom = std::min<LONG>(r.bottom, GetSystemMetrics(SM_CYSCREEN));
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return "the window is not on the screen";

  const platform::WindowDc screen(nullptr);
  const platform::UniqueHdc memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;  // top row first
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const platform::UniqueHbitmap bitmap(
      CreateDIBSection(screen.get(), &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::string error;
  if (!bitmap) {
    error = "cannot make a bitmap of " + std::to_string(width) + "x" + std::to_string(height);
  } else {
    {
      const platform::ScopedSelection selected(memory.get(), bitmap.get());
      if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top,
                  SRCCOPY | CAPTUREBLT))
        error = "cannot read the screen";
      GdiFlush();
    }
    if (error.empty()) {
      const auto* bgrx = static_cast<const uint8_t*>(bits);
      std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
      for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        rgb[i * 3] = bgrx[i * 4 + 2];
        rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        rgb[i * 3 + 2] = bgrx[i * 4];
      }
      if (!writeFile(path, encodePng(width, height, rgb))) error = "cannot write " + path;
    }
  }
  return error;
}

}  // namespace tallymark::hostsim

#include "counter/ui_metrics_win32.h"

#include <cmath>
#include <cwchar>

namespace tallymark::counter::ui {
namespace {

// Texts whose glyphs the face must hold: the Vietnamese title above all.
const wchar_t kProbeText[] = L"B\u1ed8 \u0110\u1ebeM S\u1ea2N PH\u1ea8M 0123456789:/";

int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool faceInstalled(HDC dc, const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(dc, &query, noteFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

bool faceHoldsProbe(HDC dc, const wchar_t* face) {
  const platform::UniqueHfont font(
      CreateFontW(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face));
  if (!font) return false;
  const platform::ScopedSelection selected(dc, font.get());
  const int n = static_cast<int>(wcslen(kProbeText));
  WORD glyphs[64];
  bool all = GetGlyphIndicesW(dc, kProbeText, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) ==
             static_cast<DWORD>(n);
  for (int i = 0; all && i < n; ++i) all = glyphs[i] != 0xffff;
  return all;
}

const wchar_t* chooseFace() {
  static const wchar_t* const kFaces[] = {
      L"Microsoft Sans Serif", L"Tahoma",      L"Segoe UI", L"Arial",
      L"Liberation Sans",      L"DejaVu Sans", L"Noto Sans"};
  const platform::WindowDc screen(nullptr);
  const wchar_t* chosen = nullptr;
  for (const wchar_t* face : kFaces) {
    if (faceInstalled(screen.get(), face) && faceHoldsProbe(screen.get(), face)) {
      chosen = face;
      break;
    }
  }
  // Nothing on the list holds the glyphs: the system's dialog face, whose font
  // linking is the best left to try.
  return chosen != nullptr ? chosen : L"MS Shell Dlg 2";
}

int screenDpi() {
  const int dpi = GetDeviceCaps(platform::WindowDc(nullptr).get(), LOGPIXELSY);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

HINSTANCE moduleInstance() {
  // GetModuleHandle(nullptr) would name the host's executable; a DLL's window classes
  // must be registered under the DLL's own handle.
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&moduleInstance), &module);
  return module;
}

const wchar_t* fontFace() {
  static const wchar_t* const face = chooseFace();
  return face;
}

platform::UniqueHfont createFont(double points, bool bold) {
  const int height = -static_cast<int>(std::lround(points * screenDpi() / 72.0));
  return platform::UniqueHfont(CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                                           FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                           DEFAULT_PITCH | FF_SWISS, fontFace()));
}

Scale::Scale() {
  const platform::UniqueHfont font = createFont(kDefaultPoints, false);
  const platform::WindowDc screen(nullptr);
  const HDC dc = screen.get();
  const platform::ScopedSelection selected(dc, font.get());
  TEXTMETRICW metrics{};
  SIZE letters{};
  static const wchar_t kAlphabet[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (GetTextMetricsW(dc, &metrics) && GetTextExtentPoint32W(dc, kAlphabet, 52, &letters) &&
      metrics.tmHeight > 0 && letters.cx > 0) {
    // The average width of a letter, rounded, as the form designer measures it.
    const int cellWidth = (letters.cx / 26 + 1) / 2;
    sx_ = cellWidth / 6.0;
    sy_ = metrics.tmHeight / 13.0;
  }
}

int Scale::x(int designPixels) const {
  return static_cast<int>(std::lround(designPixels * sx_));
}
int Scale::y(int designPixels) const {
  return static_cast<int>(std::lround(designPixels * sy_));
}

SIZE measureText(HFONT font, const wchar_t* text, bool multiLine) {
  const platform::WindowDc screen(nullptr);
  const platform::ScopedSelection selected(screen.get(), font);
  RECT r{0, 0, 0, 0};
  DrawTextW(screen.get(), text, -1, &r,
            DT_CALCRECT | DT_NOPREFIX | (multiLine ? 0u : DT_SINGLELINE));
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void registerWindowClass(const wchar_t* name, WNDPROC proc, bool withIcon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = moduleInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpfnWndProc = proc;
  wc.lpszClassName = name;
  if (withIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  RegisterClassExW(&wc);
}

}  // namespace tallymark::counter::ui

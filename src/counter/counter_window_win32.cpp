// The counter window as real Win32 controls. The window procedures only turn messages
// into calls on the portable DAZADA_RUVAZIDU and draw what it holds.
//
// Layout: the top-level window holds the header band and the counter area, one above
// the other with a 4-pixel splitter between them that the operator drags; the counter
// area holds the tab control, whose single page holds the counter's labels and button.
// windows.h before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "counter/counter_window_win32.h"

#include <algorithm>
#include <memory>
#include <string>

#include "counter/counter_window.h"
#include "counter/ui_metrics_win32.h"
#include "platform/gdi_win32.h"
#include "platform/win32_text.h"

namespace tallymark::counter {
namespace {

namespace ids = win32ids;
using platform::widen;

const wchar_t kFrameClass[] = L"TallymarkCounterWindow";
const wchar_t kPanelClass[] = L"TallymarkCounterPanel";

constexpr COLORREF kCrimson = RGB(220, 20, 60);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRoyalBlue = RGB(65, 105, 225);
constexpr COLORREF kKhaki = RGB(240, 230, 140);
constexpr COLORREF kSystemText = CLR_INVALID;
constexpr COLORREF kWhite = RGB(255, 255, 255);
// "Batch complete": white on green, unlike anything else in the window.
constexpr COLORREF kBatchGreen = RGB(0, 128, 0);

constexpr int kClientWidth = 380;
constexpr int kClientHeight = 424;
constexpr int kSplitterDistance = 89;
constexpr int kPanelMinSize = 25;

// The header image: a tally of five, drawn once into a small bitmap and stretched.
constexpr int kLogoWidth = 43;
constexpr int kLogoHeight = 24;

enum class Parent { Header, Page };

struct LabelLayout {
  Label DAZADA_RUVAZIDU::*label;
  int id;
  Parent parent;
  int x, y, width, height;  // design pixels
  double points;
  bool bold;
  COLORREF colour;
  COLORREF background = kSystemText;  // the page's own unless given
};

const LabelLayout kLabels[] = {
    {&DAZADA_RUVAZIDU::label8, ids::kLabel8, Parent::Header, 129, 23, 251, 29, 18.0, true,
     kCrimson},
    {&DAZADA_RUVAZIDU::label7, ids::kLabel7, Parent::Header, 45, 63, 119, 13, ui::kDefaultPoints,
     false, kSystemText},
    {&DAZADA_RUVAZIDU::lblCountVal, ids::kCountVal, Parent::Page, 7, 3, 315, 108, 72.0, true,
     kCrimson},
    {&DAZADA_RUVAZIDU::label6, ids::kLabel6, Parent::Page, 33, 205, 94, 33, 21.75, true, kBlue},
    {&DAZADA_RUVAZIDU::lblTotalCount, ids::kTotalCount, Parent::Page, 122, 204, 100, 33, 21.75,
     true, kCrimson},
    {&DAZADA_RUVAZIDU::label5, ids::kLabel5, Parent::Page, 15, 238, 112, 24, 14.25, true,
     kRoyalBlue},
    {&DAZADA_RUVAZIDU::lblLastTimeReset, ids::kLastTimeReset, Parent::Page, 123, 237, 77, 25, 15.75,
     true, kBlue},
    {&DAZADA_RUVAZIDU::label4, ids::kLabel4, Parent::Page, 18, 278, 146, 13, ui::kDefaultPoints,
     false, kSystemText},
    // In the free space right of RESET, so that no designed control moves.
    {&DAZADA_RUVAZIDU::lblLastRun, ids::kLastRun, Parent::Page, 166, 136, 190, 22, 12.0, true,
     kRoyalBlue},
    // The batch target, right of RESET above "Last run", so that the band below RESET
    // stays free for the status line: shown only while the target is on (an empty label
    // is hidden).
    {&DAZADA_RUVAZIDU::lblRequired, ids::kRequired, Parent::Page, 166, 114, 210, 20, 11.0, true,
     kBlue},
    {&DAZADA_RUVAZIDU::lblBatchComplete, ids::kBatchComplete, Parent::Page, 166, 157, 120, 18, 11.0,
     true, kWhite, kBatchGreen},
};
constexpr size_t kLabelCount = sizeof kLabels / sizeof kLabels[0];

// The status line, in the free band between RESET (and "Batch complete") and "Total:"
// across the page: hidden while empty, so that the window looks as designed while all
// is well. Two lines (two problems at once) just fit above "Total:"; a longer text wraps
// at the page's width and the line grows downwards with it.
constexpr int kStatusX = 7, kStatusY = 177, kStatusWidth = 362, kStatusHeight = 26;
constexpr double kStatusPoints = ui::kDefaultPoints;

class Win32CounterView final : public CounterView {
 public:
  explicit Win32CounterView(DAZADA_RUVAZIDU& model);
  ~Win32CounterView() override;

  void showAndFocus() override;
  void hide() override {
    if (frame_ != nullptr) ShowWindow(frame_, SW_HIDE);
  }
  bool visible() const override { return frame_ != nullptr && IsWindowVisible(frame_); }
  bool focused() const override {
    HWND focus = GetFocus();
    return focus != nullptr && (focus == frame_ || IsChild(frame_, focus));
  }
  void* nativeHandle() const override { return frame_; }
  void showLabel(const Label& label) override;

 private:
  static LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK panelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT onFrame(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT onPanel(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HWND child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
             HWND parent, int id);
  void createControls();
  void layout();
  void moveSplitter(int headerHeight);
  bool inSplitter(int y) const { return y >= splitter_ && y < splitter_ + ids::kSplitterWidth; }
  void fitLabel(size_t i);
  void createStatusLine();
  void showStatus();
  void drawButton(const DRAWITEMSTRUCT& item) const;
  void drawPicture(const DRAWITEMSTRUCT& item) const;
  void makeLogo();

  DAZADA_RUVAZIDU& model_;
  ui::Scale scale_;
  HWND frame_ = nullptr;
  HWND header_ = nullptr;
  HWND body_ = nullptr;
  HWND tab_ = nullptr;
  HWND page_ = nullptr;
  HWND picture_ = nullptr;
  HWND button_ = nullptr;
  HWND labels_[kLabelCount] = {};
  HWND status_ = nullptr;
  // The windows use these until the destructor's body has destroyed them; the owners
  // let them go only after that.
  platform::UniqueHfont labelFonts_[kLabelCount];
  platform::UniqueHfont statusFont_;
  platform::UniqueHfont defaultFont_;
  platform::UniqueHbitmap logo_;
  platform::UniqueHbrush khaki_;
  platform::UniqueHbrush labelBackgrounds_[kLabelCount];
  int splitter_ = 0;  // header band height, in pixels
  bool dragging_ = false;
  int grabOffset_ = 0;
};

Win32CounterView::Win32CounterView(DAZADA_RUVAZIDU& model) : model_(model) {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    ui::registerWindowClass(kFrameClass, &Win32CounterView::frameProc, true);
    ui::registerWindowClass(kPanelClass, &Win32CounterView::panelProc, false);
    return true;
  }();
  (void)registered;

  defaultFont_ = ui::createFont(ui::kDefaultPoints, false);
  khaki_.reset(CreateSolidBrush(kKhaki));
  splitter_ = scale_.y(kSplitterDistance);

  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
  RECT outer{0, 0, scale_.x(kClientWidth), scale_.y(kClientHeight)};
  AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  frame_ = CreateWindowExW(exStyle, kFrameClass, widen(DAZADA_RUVAZIDU::kCaption).c_str(), style,
                           CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                           outer.bottom - outer.top, nullptr, nullptr, ui::moduleInstance(), this);
  if (frame_ == nullptr) return;  // the window stays invisible; the counter still counts
  createControls();
  layout();
  SetTimer(frame_, ids::kTimer2, DAZADA_RUVAZIDU::kTimer2IntervalMs, nullptr);
}

Win32CounterView::~Win32CounterView() {
  if (frame_ != nullptr) {
    KillTimer(frame_, ids::kTimer2);
    SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
    DestroyWindow(frame_);
  }
}

HWND Win32CounterView::child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
                             int w, int h, HWND parent, int id) {
  HWND hwnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              ui::moduleInstance(), this);
  if (hwnd != nullptr)
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(defaultFont_.get()), FALSE);
  return hwnd;
}

void Win32CounterView::createControls() {
  const DWORD panelStyle = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  header_ = child(kPanelClass, nullptr, panelStyle, 0, 0, 0, 0, frame_, ids::kHeaderPanel);
  body_ = child(kPanelClass, nullptr, panelStyle, 0, 0, 0, 0, frame_, ids::kBodyPanel);
  tab_ = child(WC_TABCONTROLW, nullptr, panelStyle, 0, 0, 0, 0, body_, ids::kTabControl);
  std::wstring tabText = widen(DAZADA_RUVAZIDU::kTabText);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = tabText.data();
  SendMessageW(tab_, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  page_ = child(kPanelClass, nullptr, panelStyle | WS_TABSTOP, 0, 0, 0, 0, tab_, ids::kPage);
  SetWindowLongPtrW(page_, GWL_EXSTYLE,
                    GetWindowLongPtrW(page_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);

  makeLogo();
  picture_ = child(L"STATIC", nullptr, SS_OWNERDRAW, scale_.x(9), scale_.y(0), scale_.x(86),
                   scale_.y(47), header_, ids::kPicture);

  for (size_t i = 0; i < kLabelCount; ++i) {
    const LabelLayout& entry = kLabels[i];
    const Label& label = model_.*entry.label;
    labelFonts_[i] = ui::createFont(entry.points, entry.bold);
    labels_[i] =
        child(L"STATIC", widen(label.text()).c_str(), SS_LEFTNOWORDWRAP | SS_NOPREFIX,
              scale_.x(entry.x), scale_.y(entry.y), scale_.x(entry.width), scale_.y(entry.height),
              entry.parent == Parent::Header ? header_ : page_, entry.id);
    SendMessageW(labels_[i], WM_SETFONT, reinterpret_cast<WPARAM>(labelFonts_[i].get()), FALSE);
    if (entry.background != kSystemText)
      labelBackgrounds_[i].reset(CreateSolidBrush(entry.background));
    fitLabel(i);
  }

  createStatusLine();

  // Owner-drawn, so that the Khaki background shows under any visual style.
  button_ =
      child(L"BUTTON", widen(DAZADA_RUVAZIDU::kResetText).c_str(), WS_TABSTOP | BS_OWNERDRAW,
            scale_.x(68), scale_.y(124), scale_.x(82), scale_.y(46), page_, ids::kResetButton);
}

void Win32CounterView::createStatusLine() {
  statusFont_ = ui::createFont(kStatusPoints, false);
  status_ = child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, scale_.x(kStatusX), scale_.y(kStatusY),
                  scale_.x(kStatusWidth), scale_.y(kStatusHeight), page_, ids::kStatus);
  SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(statusFont_.get()), FALSE);
  showStatus();
}

void Win32CounterView::showStatus() {
  if (status_ == nullptr) return;
  const std::string& text = model_.lblStatus.text();
  if (text.empty()) {
    ShowWindow(status_, SW_HIDE);
    SetWindowTextW(status_, L"");
    return;
  }
  const std::wstring wide = widen(text);
  SetWindowTextW(status_, wide.c_str());
  RECT bounds{0, 0, scale_.x(kStatusWidth), 0};
  {
    const platform::WindowDc dc(status_);
    const platform::ScopedSelection selected(dc.get(), statusFont_.get());
    DrawTextW(dc.get(), wide.c_str(), -1, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  }
  const int height = std::max(scale_.y(kStatusHeight), static_cast<int>(bounds.bottom));
  SetWindowPos(status_, HWND_TOP, 0, 0, scale_.x(kStatusWidth), height,
               SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// The model calls this only when the text really changed, and once per label on attaching.
void Win32CounterView::showLabel(const Label& label) {
  if (&label == &model_.lblStatus) {
    showStatus();
    return;
  }
  for (size_t i = 0; i < kLabelCount; ++i) {
    if (&(model_.*kLabels[i].label) != &label) continue;
    if (labels_[i] == nullptr) return;
    SetWindowTextW(labels_[i], widen(label.text()).c_str());
    fitLabel(i);
    return;
  }
}

// Labels size themselves to their text, never below their design size, growing to the
// right and down from their fixed top-left corner.
void Win32CounterView::fitLabel(size_t i) {
  if (labels_[i] == nullptr) return;
  const LabelLayout& entry = kLabels[i];
  wchar_t text[256];
  GetWindowTextW(labels_[i], text, 256);
  // An empty label is hidden, so that a coloured background never shows on its own.
  const bool shown = text[0] != L'\0';
  if (((GetWindowLongW(labels_[i], GWL_STYLE) & WS_VISIBLE) != 0) != shown) {
    ShowWindow(labels_[i], shown ? SW_SHOWNA : SW_HIDE);
  }
  SIZE size = ui::measureText(labelFonts_[i].get(), text, false);
  const int width = std::max(scale_.x(entry.width), static_cast<int>(size.cx) + 3);
  const int height = std::max(scale_.y(entry.height), static_cast<int>(size.cy));
  SetWindowPos(labels_[i], nullptr, 0, 0, width, height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32CounterView::layout() {
  if (header_ == nullptr || body_ == nullptr) return;
  RECT client;
  GetClientRect(frame_, &client);
  const int width = client.right;
  const int height = client.bottom;
  const int top = std::max(0, std::min(splitter_, height - ids::kSplitterWidth));
  const int bodyTop = top + ids::kSplitterWidth;
  MoveWindow(header_, 0, 0, width, top, TRUE);
  MoveWindow(body_, 0, bodyTop, width, std::max(0, height - bodyTop), TRUE);
  MoveWindow(tab_, 0, 0, width, std::max(0, height - bodyTop), TRUE);
  RECT page;
  GetClientRect(tab_, &page);
  SendMessageW(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  MoveWindow(page_, page.left, page.top, std::max(0L, page.right - page.left),
             std::max(0L, page.bottom - page.top), TRUE);
}

void Win32CounterView::moveSplitter(int headerHeight) {
  RECT client;
  GetClientRect(frame_, &client);
  const int highest = std::max(
      kPanelMinSize, static_cast<int>(client.bottom) - ids::kSplitterWidth - kPanelMinSize);
  splitter_ = std::clamp(headerHeight, kPanelMinSize, highest);
  layout();
}

void Win32CounterView::showAndFocus() {
  if (frame_ == nullptr) return;
  ShowWindow(frame_, SW_SHOW);
  SetForegroundWindow(frame_);
  SetActiveWindow(frame_);
  SetFocus(button_ != nullptr ? button_ : frame_);
}

void Win32CounterView::makeLogo() {
  platform::UniqueHdc memory;
  {
    const platform::WindowDc screen(nullptr);
    memory.reset(CreateCompatibleDC(screen.get()));
    logo_.reset(CreateCompatibleBitmap(screen.get(), kLogoWidth, kLogoHeight));
  }
  if (!memory || !logo_) return;
  const HDC dc = memory.get();
  const platform::ScopedSelection bitmap(dc, logo_.get());
  RECT all{0, 0, kLogoWidth, kLogoHeight};
  FillRect(dc, &all, khaki_.get());
  FrameRect(dc, &all, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
  const platform::UniqueHpen strokes(CreatePen(PS_SOLID, 3, kCrimson));
  const platform::UniqueHpen slash(CreatePen(PS_SOLID, 3, RGB(25, 25, 112)));
  {
    const platform::ScopedSelection pen(dc, strokes.get());
    for (int x = 11; x <= 32; x += 7) {
      MoveToEx(dc, x, 4, nullptr);
      LineTo(dc, x, 20);
    }
  }
  const platform::ScopedSelection pen(dc, slash.get());
  MoveToEx(dc, 6, 18, nullptr);
  LineTo(dc, 37, 6);
}

void Win32CounterView::drawPicture(const DRAWITEMSTRUCT& item) const {
  if (!logo_) return;
  const platform::UniqueHdc source(CreateCompatibleDC(item.hDC));
  const platform::ScopedSelection selected(source.get(), logo_.get());
  SetStretchBltMode(item.hDC, HALFTONE);
  SetBrushOrgEx(item.hDC, 0, 0, nullptr);
  const RECT& r = item.rcItem;
  StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source.get(), 0, 0,
             kLogoWidth, kLogoHeight, SRCCOPY);
}

void Win32CounterView::drawButton(const DRAWITEMSTRUCT& item) const {
  RECT r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &r, khaki_.get());
  DrawEdge(item.hDC, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  wchar_t text[32];
  GetWindowTextW(item.hwndItem, text, 32);
  {
    const platform::ScopedSelection font(item.hDC, defaultFont_.get());
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC,
                 GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    RECT textArea = r;
    if (pressed) OffsetRect(&textArea, 1, 1);
    DrawTextW(item.hDC, text, -1, &textArea, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(item.hDC, &focus);
  }
}

Win32CounterView* viewOf(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* view =
        static_cast<Win32CounterView*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    return view;
  }
  return reinterpret_cast<Win32CounterView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK Win32CounterView::frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Win32CounterView* view = viewOf(hwnd, msg, lp);
  return view != nullptr ? view->onFrame(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Win32CounterView::panelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Win32CounterView* view = viewOf(hwnd, msg, lp);
  return view != nullptr ? view->onPanel(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32CounterView::onFrame(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      layout();
      return 0;
    case WM_TIMER:
      if (wp == ids::kTimer2) model_.timer2_Tick();
      return 0;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4: all end up here
      model_.DAZADA_RUVAZIDU_FormClosing();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && button_ != nullptr) SetFocus(button_);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT at;
        GetCursorPos(&at);
        ScreenToClient(hwnd, &at);
        if (dragging_ || inSplitter(at.y)) {
          SetCursor(LoadCursorW(nullptr, IDC_SIZENS));
          return TRUE;
        }
      }
      break;
    case WM_LBUTTONDOWN: {
      const int y = static_cast<short>(HIWORD(lp));
      if (inSplitter(y)) {
        dragging_ = true;
        grabOffset_ = y - splitter_;
        SetCapture(hwnd);
      }
      return 0;
    }
    case WM_MOUSEMOVE:
      if (dragging_) moveSplitter(static_cast<short>(HIWORD(lp)) - grabOffset_);
      return 0;
    case WM_LBUTTONUP:
      if (dragging_) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      dragging_ = false;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32CounterView::onPanel(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
      for (size_t i = 0; i < kLabelCount; ++i) {
        if (labels_[i] != reinterpret_cast<HWND>(lp)) continue;
        if (kLabels[i].colour != kSystemText) colour = kLabels[i].colour;
        if (labelBackgrounds_[i]) {
          SetTextColor(dc, colour);
          SetBkColor(dc, kLabels[i].background);
          return reinterpret_cast<LRESULT>(labelBackgrounds_[i].get());
        }
      }
      if (status_ != nullptr && status_ == reinterpret_cast<HWND>(lp)) colour = kCrimson;
      SetTextColor(dc, colour);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item.hwndItem == button_) drawButton(item);
      if (item.hwndItem == picture_) drawPicture(item);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == ids::kResetButton && HIWORD(wp) == BN_CLICKED) model_.btnReset_Click();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

std::unique_ptr<CounterView> createCounterView(DAZADA_RUVAZIDU& model) {
  return std::make_unique<Win32CounterView>(model);
}

}  // namespace tallymark::counter

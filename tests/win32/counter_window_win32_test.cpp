// The operator's screens as real windows: the menu item in a host-like frame's menu bar,
// the counter window's controls, its RESET button with the real confirmation box, the
// configuration notice, local dates and the OLE date conversion against the system's own.
//
// The plug-in's window lives for the whole program, as in the host, so the tests that
// use it run in the order written.
// windows.h before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
// clang-format on

#include "counter/counter_window_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "counter/config_dialog.h"
#include "counter/counter_window.h"
#include "counter/ole_date.h"
#include "counter/ui_metrics_win32.h"
#include "fake_host.h"
#include "platform/environment.h"
#include "platform/gdi_win32.h"
#include "platform/local_time.h"
#include "platform/local_time_win32.h"
#include "platform/win32_text.h"
#include "plugin/exports.h"
#include "plugin/menu.h"
#include "plugin/mg.h"
#include "plugin/operator_status.h"
#include "plugin/plugin.h"
#include "plugin/state.h"

namespace {

namespace counter = tallymark::counter;
namespace ids = counter::win32ids;
namespace platform = tallymark::platform;

void pump(int milliseconds) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

std::wstring textOf(HWND hwnd) {
  wchar_t text[512] = L"";
  GetWindowTextW(hwnd, text, 512);
  return text;
}

// A stand-in for the host's main frame: a top-level window with a real menu bar.
class HostFrame {
 public:
  // Top-level items in order: a name, and whether it has a popup (with one item).
  explicit HostFrame(const std::vector<std::pair<const char*, bool>>& items) {
    static const bool registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"TestHostFrame";
      return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    HMENU bar = CreateMenu();
    UINT command = 9000;
    for (const auto& [name, withPopup] : items) {
      if (withPopup) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, command++, "Host item");
        AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), name);
        popups.push_back(popup);
      } else {
        AppendMenuA(bar, MF_STRING, command++, name);
        popups.push_back(nullptr);
      }
    }
    hwnd = CreateWindowExW(0, L"TestHostFrame", L"Host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                           nullptr, bar, GetModuleHandleW(nullptr), nullptr);
  }
  ~HostFrame() { DestroyWindow(hwnd); }
  HostFrame(const HostFrame&) = delete;
  HostFrame& operator=(const HostFrame&) = delete;

  // How many items the popup of top-level item `i` has (the host put one there).
  int itemsIn(size_t i) const { return GetMenuItemCount(popups[i]); }
  std::string lastText(size_t i) const {
    char text[64] = "";
    GetMenuStringA(popups[i], static_cast<UINT>(itemsIn(i) - 1), text, 64, MF_BYPOSITION);
    return text;
  }
  UINT lastId(size_t i) const { return GetMenuItemID(popups[i], itemsIn(i) - 1); }

  HWND hwnd = nullptr;
  std::vector<HMENU> popups;
};

TEST(MenuWalk, AppendsTallyMarkToTheFirstExactPlugInControlPopup) {
  menuStart = 4242;
  HostFrame frame({{"File", true}, {"PlugIn Control", true}, {"Help", true}});
  ASSERT_NE(frame.hwnd, nullptr);
  tallymark::plugin::appendPluginMenuItem();
  EXPECT_EQ(frame.itemsIn(0), 1);
  ASSERT_EQ(frame.itemsIn(1), 2);
  EXPECT_EQ(frame.lastText(1), "Tally_Mark");
  EXPECT_EQ(frame.lastId(1), 4242u);
  const UINT state = GetMenuState(frame.popups[1], 1, MF_BYPOSITION);
  EXPECT_EQ(state & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR | MF_POPUP), 0u);
  EXPECT_EQ(frame.itemsIn(2), 1);
}

TEST(MenuWalk, OnlyTheFirstOfTwoMatchesGetsTheItem) {
  menuStart = 4243;
  HostFrame frame({{"PlugIn Control", true}, {"PlugIn Control", true}});
  tallymark::plugin::appendPluginMenuItem();
  EXPECT_EQ(frame.itemsIn(0), 2);
  EXPECT_EQ(frame.lastText(0), "Tally_Mark");
  EXPECT_EQ(frame.itemsIn(1), 1);
}

TEST(MenuWalk, CaseAndMnemonicDifferencesDoNotMatch) {
  menuStart = 4244;
  HostFrame frame({{"Plugin Control", true},
                   {"PLUGIN CONTROL", true},
                   {"&PlugIn Control", true},
                   {"PlugIn Control ", true},
                   {"PlugIn Control", true}});
  tallymark::plugin::appendPluginMenuItem();
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(frame.itemsIn(i), 1) << i;
  EXPECT_EQ(frame.itemsIn(4), 2) << "the exact name further along still matches";
}

TEST(MenuWalk, AMatchWithoutAPopupEndsTheWalkWithNothingInserted) {
  menuStart = 4245;
  HostFrame frame({{"File", true}, {"PlugIn Control", false}, {"PlugIn Control", true}});
  tallymark::plugin::appendPluginMenuItem();
  EXPECT_EQ(frame.itemsIn(0), 1);
  EXPECT_EQ(frame.itemsIn(2), 1);
  EXPECT_EQ(GetMenuItemCount(GetMenu(frame.hwnd)), 3);
}

TEST(MenuWalk, NoMatchOrNoFrameInsertsNothing) {
  menuStart = 4246;
  tallymark::plugin::appendPluginMenuItem();  // no window with a menu bar on this thread
  HostFrame frame({{"File", true}, {"Edit", true}, {"Plugins", true}});
  tallymark::plugin::appendPluginMenuItem();
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(frame.itemsIn(i), 1) << i;
}

BOOL CALLBACK firstWithMenu(HWND hwnd, LPARAM out) {
  if (GetMenu(hwnd) == nullptr) return TRUE;
  *reinterpret_cast<HWND*>(out) = hwnd;
  return FALSE;
}

// Another window with a menu bar (another plug-in's, a host dialog) beside the host's
// frame, before or after it in the order the system lists the thread's windows.
TEST(MenuWalk, TheFrameWithThePlugInControlPopupIsPreferredInEitherOrder) {
  for (bool hostFirst : {true, false}) {
    SCOPED_TRACE(hostFirst ? "host listed first" : "other window listed first");
    menuStart = hostFirst ? 4247 : 4248;
    HostFrame host({{"File", true}, {"PlugIn Control", true}});
    HostFrame other({{"File", true}, {"Tools", true}});
    SetWindowPos(hostFirst ? host.hwnd : other.hwnd, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND listedFirst = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), firstWithMenu, reinterpret_cast<LPARAM>(&listedFirst));
    ASSERT_EQ(listedFirst, hostFirst ? host.hwnd : other.hwnd) << "the order under test";
    EXPECT_EQ(tallymark::plugin::findHostFrame(), host.hwnd);
    tallymark::plugin::appendPluginMenuItem();
    EXPECT_EQ(host.itemsIn(1), 2);
    EXPECT_EQ(host.lastId(1), static_cast<UINT>(menuStart));
    EXPECT_EQ(other.itemsIn(0) + other.itemsIn(1), 2) << "nothing added to the other window";
  }
  // Without a "PlugIn Control" popup anywhere, the first window with a menu bar.
  HostFrame first({{"File", true}});
  HostFrame second({{"Edit", true}});
  HWND listedFirst = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), firstWithMenu, reinterpret_cast<LPARAM>(&listedFirst));
  EXPECT_EQ(tallymark::plugin::findHostFrame(), listedFirst);
}

HWND frameOf(const DAZADA_RUVAZIDU& window) {
  return static_cast<HWND>(window.view()->nativeHandle());
}
HWND counterFrame() {
  return frameOf(*MG::dazada_ruvaziduDlg);
}
HWND pageOf(HWND frame) {
  HWND body = GetDlgItem(frame, ids::kBodyPanel);
  return GetDlgItem(GetDlgItem(body, ids::kTabControl), ids::kPage);
}
HWND page() {
  return pageOf(counterFrame());
}
HWND header() {
  return GetDlgItem(counterFrame(), ids::kHeaderPanel);
}
HWND onPage(int id) {
  return GetDlgItem(page(), id);
}

class CounterWindowWin32 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    host_ = new FakeHost();
    host_->menuRangeNext = 5150;
    HostFrame frame({{"PlugIn Control", true}});
    InitControl(nullptr, nullptr, nullptr, nullptr);
    PostInitControl();
    // The operator's way in: the item the plug-in appended to the host's menu.
    menuId_ = frame.lastId(0);
  }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }
  FakeHost& host() { return *host_; }

  static FakeHost* host_;
  static UINT menuId_;
};
FakeHost* CounterWindowWin32::host_ = nullptr;
UINT CounterWindowWin32::menuId_ = 0;

TEST_F(CounterWindowWin32, IsAHiddenTopmostCounterWindowUntilTheMenuItemShowsIt) {
  ASSERT_EQ(menuId_, 5150u);
  HWND frame = counterFrame();
  ASSERT_TRUE(IsWindow(frame));
  EXPECT_FALSE(IsWindowVisible(frame));
  EXPECT_EQ(textOf(frame), L"COUNTER");
  EXPECT_TRUE(GetWindowLongW(frame, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(GetWindowLongW(frame, GWL_STYLE) & WS_THICKFRAME);
  counter::ui::Scale scale;
  RECT client;
  GetClientRect(frame, &client);
  EXPECT_EQ(client.right, scale.x(380));
  EXPECT_EQ(client.bottom, scale.y(424));

  Notify(static_cast<int>(menuId_) + 1);
  EXPECT_FALSE(IsWindowVisible(frame));
  Notify(static_cast<int>(menuId_));
  pump(50);
  EXPECT_TRUE(IsWindowVisible(frame));
  HWND focus = GetFocus();
  EXPECT_TRUE(focus == frame || IsChild(frame, focus));
  EXPECT_EQ(GetActiveWindow(), frame);
  // Already visible: only the focus again.
  SetFocus(nullptr);
  Notify(static_cast<int>(menuId_));
  focus = GetFocus();
  EXPECT_TRUE(focus == frame || IsChild(frame, focus));
}

TEST_F(CounterWindowWin32, ControlsCarryTheirTextsWithTheTitleInFullVietnamese) {
  EXPECT_EQ(textOf(GetDlgItem(header(), ids::kLabel8)),
            L"B\u1ED8 \u0110\u1EBEM S\u1EA2N PH\u1EA8M");
  EXPECT_EQ(textOf(GetDlgItem(header(), ids::kLabel7)), L"Orvane PC-base CNC");
  EXPECT_NE(GetDlgItem(header(), ids::kPicture), nullptr);
  EXPECT_EQ(textOf(onPage(ids::kResetButton)), L"RESET");
  EXPECT_EQ(textOf(onPage(ids::kLabel4)), L"DROs used: 1500,1501,1502");
  EXPECT_EQ(textOf(onPage(ids::kLabel5)), L"Last Reset:");
  EXPECT_EQ(textOf(onPage(ids::kLabel6)), L"Total:");
  HWND tab = GetDlgItem(GetDlgItem(counterFrame(), ids::kBodyPanel), ids::kTabControl);
  EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 1);
  wchar_t tabText[32] = L"";
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = tabText;
  item.cchTextMax = 32;
  SendMessageW(tab, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(tabText, L"COUNTER");
}

int setTexts = 0;
WNDPROC countedProc = nullptr;
LRESULT CALLBACK countSetText(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SETTEXT) ++setTexts;
  return CallWindowProcW(countedProc, hwnd, msg, wp, lp);
}

TEST_F(CounterWindowWin32, TicksWriteTheLabelsOnlyWhenTheFiguresChange) {
  // Count the texts the real count label receives.
  HWND count = onPage(ids::kCountVal);
  countedProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(count, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&countSetText)));
  host().setDro(1500, 1234);
  host().setDro(1501, 98765);
  Update();
  EXPECT_EQ(textOf(count), L"1234");
  EXPECT_EQ(textOf(onPage(ids::kTotalCount)), L"98765");
  setTexts = 0;
  for (int i = 0; i < 10; ++i) Update();
  EXPECT_EQ(setTexts, 0) << "unchanged figures must not rewrite the control";
  host().setDro(1500, 1235);
  Update();
  EXPECT_EQ(setTexts, 1);
  SetWindowLongPtrW(count, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countedProc));
}

// The batch labels exist in every window but show only while they hold text; "Batch
// complete" then stands out, white on green, where every other label is on the page's
// own colour.
TEST_F(CounterWindowWin32, TheBatchLabelsShowOnlyWhileTheTargetIsOnAndStandOut) {
  HWND required = onPage(ids::kRequired);
  HWND complete = onPage(ids::kBatchComplete);
  ASSERT_NE(required, nullptr);
  ASSERT_NE(complete, nullptr);
  EXPECT_FALSE(GetWindowLongW(required, GWL_STYLE) & WS_VISIBLE) << "off: not shown";
  EXPECT_FALSE(GetWindowLongW(complete, GWL_STYLE) & WS_VISIBLE);

  DAZADA_RUVAZIDU& window = *MG::dazada_ruvaziduDlg;
  counter::BatchRule rule;
  rule.configure(100);
  counter::TickOutcome tick;
  tick.ran = true;
  tick.count = 88;
  rule.follow(tick);
  window.showBatch(rule, 88);
  EXPECT_EQ(textOf(required), L"Required: 100  Remaining: 12");
  EXPECT_TRUE(GetWindowLongW(required, GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(GetWindowLongW(complete, GWL_STYLE) & WS_VISIBLE) << "not reached yet";

  tick.count = 100;
  rule.follow(tick);
  window.showBatch(rule, 100);
  EXPECT_EQ(textOf(complete), L"Batch complete");
  EXPECT_TRUE(GetWindowLongW(complete, GWL_STYLE) & WS_VISIBLE);
  const tallymark::platform::UniqueHdc memory(CreateCompatibleDC(nullptr));
  const HDC dc = memory.get();
  SendMessageW(page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(complete));
  EXPECT_EQ(GetBkColor(dc), RGB(0, 128, 0));
  EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
  SendMessageW(page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(required));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));

  rule.configure(0);
  window.showBatch(rule, 100);
  EXPECT_FALSE(GetWindowLongW(required, GWL_STYLE) & WS_VISIBLE) << "switched off: gone";
  EXPECT_FALSE(GetWindowLongW(complete, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(CounterWindowWin32, LabelsGrowWithTheirFigures) {
  counter::ui::Scale scale;
  HWND count = onPage(ids::kCountVal);
  RECT r;
  host().setDro(1500, 12345678);
  Update();
  GetWindowRect(count, &r);
  EXPECT_GT(r.right - r.left, scale.x(315))
      << "eight digits at 72 points are wider than the design";
  const RECT grown = r;
  host().setDro(1500, 1);
  Update();
  GetWindowRect(count, &r);
  EXPECT_EQ(r.right - r.left, scale.x(315)) << "back to the design size";
  EXPECT_EQ(r.left, grown.left) << "the top-left corner stays";
}

TEST_F(CounterWindowWin32, TheOperatorCanDragTheSplitter) {
  HWND frame = counterFrame();
  RECT before;
  GetClientRect(header(), &before);
  const int y = before.bottom + 1;
  SendMessageW(frame, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, y));
  SendMessageW(frame, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, y + 40));
  SendMessageW(frame, WM_LBUTTONUP, 0, MAKELPARAM(50, y + 40));
  RECT after;
  GetClientRect(header(), &after);
  EXPECT_EQ(after.bottom, before.bottom + 40);
  RECT body;
  GetWindowRect(GetDlgItem(frame, ids::kBodyPanel), &body);
  POINT bodyTop{body.left, body.top};
  ScreenToClient(frame, &bodyTop);
  EXPECT_EQ(bodyTop.y, after.bottom + ids::kSplitterWidth);
  // Back where it was, for the screenshot.
  SendMessageW(frame, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, y + 40));
  SendMessageW(frame, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, y));
  SendMessageW(frame, WM_LBUTTONUP, 0, MAKELPARAM(50, y));
  GetClientRect(header(), &after);
  EXPECT_EQ(after.bottom, before.bottom);
}

TEST_F(CounterWindowWin32, ClosingByWmCloseOrTheSystemMenuHidesTheSameWindow) {
  DAZADA_RUVAZIDU* window = MG::dazada_ruvaziduDlg;
  HWND frame = counterFrame();
  Notify(static_cast<int>(menuId_));
  ASSERT_TRUE(IsWindowVisible(frame));
  SendMessageW(frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(frame));
  EXPECT_FALSE(IsWindowVisible(frame));
  Notify(static_cast<int>(menuId_));
  EXPECT_TRUE(IsWindowVisible(frame));
  SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindow(frame));
  EXPECT_FALSE(IsWindowVisible(frame));
  Notify(static_cast<int>(menuId_));
  EXPECT_TRUE(IsWindowVisible(frame));
  EXPECT_EQ(MG::dazada_ruvaziduDlg, window);
  EXPECT_EQ(counterFrame(), frame);
}

TEST_F(CounterWindowWin32, ASecondStartKeepsTheFirstMenuIdAndASingleItem) {
  HostFrame frame({{"PlugIn Control", true}});
  PostInitControl();
  ASSERT_EQ(frame.itemsIn(0), 2);
  host().menuRangeNext = 6000;
  host().clearLog();
  InitControl(nullptr, nullptr, nullptr, nullptr);
  PostInitControl();
  EXPECT_TRUE(host().log.empty()) << "no second identifier is asked for";
  EXPECT_EQ(frame.itemsIn(0), 2) << "one Tally_Mark only";
  EXPECT_EQ(frame.lastId(0), menuId_);
  HWND counter = counterFrame();
  ShowWindow(counter, SW_HIDE);
  Notify(static_cast<int>(menuId_));
  EXPECT_TRUE(IsWindowVisible(counter)) << "the item still answers";
}

// Answers the next "Confirm?" box from another thread, as the operator would, after
// checking what it offers.
struct BoxAnswer {
  std::wstring text;
  bool yesIsDefault = false;
  bool hasCancel = true;
  bool found = false;
};

BOOL CALLBACK collectBoxText(HWND child, LPARAM out) {
  wchar_t cls[16] = L"";
  GetClassNameW(child, cls, 16);
  if (lstrcmpiW(cls, L"Static") == 0 && textOf(child) == L"Are you sure to reset?") {
    reinterpret_cast<BoxAnswer*>(out)->text = textOf(child);
  }
  return TRUE;
}

std::thread answerConfirmation(int button, BoxAnswer& seen) {
  return std::thread([button, &seen] {
    for (int i = 0; i < 500; ++i) {
      HWND box = FindWindowW(L"#32770", L"Confirm?");
      if (box != nullptr && IsWindowVisible(box)) {
        seen.found = true;
        EnumChildWindows(box, collectBoxText, reinterpret_cast<LPARAM>(&seen));
        const LONG yesStyle = GetWindowLongW(GetDlgItem(box, IDYES), GWL_STYLE);
        seen.yesIsDefault = (yesStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        seen.hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
        PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
        return;
      }
      Sleep(10);
    }
  });
}

TEST_F(CounterWindowWin32, RealResetButtonAndConfirmationBoxAnsweredNoThenYes) {
  tallymark::plugin::state().environment.localClock = [] {
    return platform::LocalDateTime{2026, 12, 8, 16, 20, 1, 234};
  };
  host().setDro(1500, 41);
  host().setDro(1501, 99);
  host().setDro(1502, 0);
  Update();
  Notify(static_cast<int>(menuId_));
  HWND reset = onPage(ids::kResetButton);

  BoxAnswer no;
  std::thread answerer = answerConfirmation(IDNO, no);
  host().clearLog();
  SendMessageW(reset, BM_CLICK, 0, 0);  // returns once the box is answered
  answerer.join();
  ASSERT_TRUE(no.found) << "no \"Confirm?\" box appeared";
  EXPECT_EQ(no.text, L"Are you sure to reset?");
  EXPECT_TRUE(no.yesIsDefault);
  EXPECT_FALSE(no.hasCancel);
  Update();
  Update();
  EXPECT_EQ(host().dro(1500), 41);
  EXPECT_EQ(host().dro(1502), 0);
  for (const std::string& call : host().log)
    EXPECT_EQ(call.rfind("SetDRO", 0), std::string::npos) << call;

  BoxAnswer yes;
  answerer = answerConfirmation(IDYES, yes);
  SendMessageW(reset, BM_CLICK, 0, 0);
  answerer.join();
  ASSERT_TRUE(yes.found);
  EXPECT_EQ(host().dro(1500), 41) << "the click leaves the DROs to the next tick";
  Update();
  const double confirmed = counter::oleDateFromDateTime({2026, 12, 8, 16, 20, 1, 234});
  EXPECT_EQ(host().dro(1500), 0);
  EXPECT_EQ(host().dro(1501), 99);
  EXPECT_EQ(host().dro(1502), confirmed);
  Update();
  EXPECT_EQ(textOf(onPage(ids::kCountVal)), L"0");
  pump(600);  // at least one timer2 tick
  EXPECT_EQ(textOf(onPage(ids::kLastTimeReset)),
            platform::widen(platform::formatLocalDateTime({2026, 12, 8, 16, 20, 1, 234})));
  tallymark::plugin::state().environment.localClock = nullptr;
}

TEST_F(CounterWindowWin32, LastResetLabelShowsThePlaceholderAndRecovers) {
  host().setDro(1502, std::nan(""));
  Update();
  pump(600);
  EXPECT_EQ(platform::narrow(textOf(onPage(ids::kLastTimeReset))), DAZADA_RUVAZIDU::kNoDateText);
  host().setDro(1502, 0.0);
  Update();
  pump(600);
  EXPECT_EQ(textOf(onPage(ids::kLastTimeReset)),
            platform::widen(platform::formatLocalDateTime({1899, 12, 30, 0, 0, 0, 0})));
}

// Saves the counter window as it is on the screen into a BMP that the build turns into
// a PNG (see CMakeLists.txt); the path comes from TALLYMARK_SCREENSHOT.
// Shows the counter window where nothing covers it and saves what the screen shows of it
// as a 24-bit BMP at `path` (the build turns it into a PNG).
void saveScreenshot(HWND frame, const char* path, UINT menuId) {
  Notify(static_cast<int>(menuId));
  SetWindowPos(frame, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  RedrawWindow(frame, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  pump(1000);
  RECT r;
  GetWindowRect(frame, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const tallymark::platform::WindowDc screen(nullptr);
  const tallymark::platform::UniqueHdc memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const tallymark::platform::UniqueHbitmap shot(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  ASSERT_TRUE(shot);
  const tallymark::platform::ScopedSelection selected(memory.get(), shot.get());
  ASSERT_TRUE(BitBlt(memory.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY));
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4d42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
  FILE* out = std::fopen(path, "wb");
  ASSERT_NE(out, nullptr) << path;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
  std::fwrite(bits, stride, static_cast<size_t>(h), out);
  std::fclose(out);
}

TEST_F(CounterWindowWin32, ScreenshotOfTheCounterWindow) {
  const char* path = std::getenv("TALLYMARK_SCREENSHOT");
  if (path == nullptr) GTEST_SKIP() << "TALLYMARK_SCREENSHOT not set";
  host().setDro(1500, 1234);
  host().setDro(1501, 98765);
  host().setDro(1502, counter::oleDateFromDateTime({2026, 12, 8, 16, 20, 1, 0}));
  Update();
  saveScreenshot(counterFrame(), path, menuId_);
}

bool shownAsVisible(HWND control) {
  return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

RECT rectOnPage(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, page(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST_F(CounterWindowWin32, TheStatusLineShowsEachProblemInFreeSpaceWhileItLasts) {
  using tallymark::counter::StatusSource;
  HWND status = onPage(ids::kStatus);
  ASSERT_NE(status, nullptr);
  EXPECT_FALSE(shownAsVisible(status)) << "all is well: the window looks as designed";

  const char* runLog = "Run log: Mill.runs.csv is in use by another program - 12 runs waiting";
  const char* port = "MTConnect: port 7878 is in use by another program";
  tallymark::plugin::showStatus(StatusSource::RunLog, runLog);
  tallymark::plugin::showStatus(StatusSource::Monitoring, port);
  EXPECT_TRUE(shownAsVisible(status));
  EXPECT_EQ(textOf(status), platform::widen(std::string(runLog) + "\n" + port));
  // Two problems fit between RESET, "Last run", the batch labels and the total, covering
  // none of them.
  RECT line = rectOnPage(status);
  for (int id : {ids::kResetButton, ids::kLastRun, ids::kRequired, ids::kBatchComplete,
                 ids::kLabel6, ids::kTotalCount}) {
    RECT other = rectOnPage(onPage(id));
    RECT overlap;
    EXPECT_FALSE(IntersectRect(&overlap, &line, &other))
        << "control " << id << ": " << other.top << ".." << other.bottom << ", the line "
        << line.top << ".." << line.bottom;
  }
  if (const char* path = std::getenv("TALLYMARK_STATUS_SCREENSHOT"))
    saveScreenshot(counterFrame(), path, menuId_);

  tallymark::plugin::showStatus(StatusSource::RunLog, "");
  EXPECT_EQ(textOf(status), platform::widen(port));
  tallymark::plugin::showStatus(StatusSource::Monitoring, "");
  EXPECT_FALSE(shownAsVisible(status));
  EXPECT_EQ(textOf(status), L"");
}

// A model of its own with real views, beside the plug-in's window: what changed before a
// view came reaches its controls, and a view that replaces another gets every change.
TEST(CounterView, ShowsTheModelsTextsWhenAttachedAndAReplacementTakesOver) {
  DAZADA_RUVAZIDU model;
  model.lblCountVal.setNumber(77);
  model.showLastRun(1500);
  model.attachView(counter::createCounterView(model));
  HWND first = frameOf(model);
  ASSERT_TRUE(IsWindow(first));
  EXPECT_FALSE(IsWindowVisible(first));
  EXPECT_EQ(textOf(GetDlgItem(pageOf(first), ids::kCountVal)), L"77");
  EXPECT_EQ(textOf(GetDlgItem(pageOf(first), ids::kLastRun)), L"Last run: 1.5 s");

  model.attachView(counter::createCounterView(model));
  HWND second = frameOf(model);
  EXPECT_FALSE(IsWindow(first)) << "the replaced view takes its window with it";
  ASSERT_TRUE(IsWindow(second));
  model.lblCountVal.setNumber(78);
  EXPECT_EQ(textOf(GetDlgItem(pageOf(second), ids::kCountVal)), L"78");
  model.showAndFocus();
  EXPECT_TRUE(IsWindowVisible(second));
  model.DAZADA_RUVAZIDU_FormClosing();
  EXPECT_FALSE(IsWindowVisible(second));
}

TEST(ConfigNotice, EachConfigShowsAFreshModalNoticeThatTheOperatorCloses) {
  HostFrame owner({{"File", true}});
  ShowWindow(owner.hwnd, SW_SHOW);
  SetActiveWindow(owner.hwnd);
  counter::ui::Scale scale;
  std::vector<HWND> seen;
  for (int round = 0; round < 2; ++round) {
    std::atomic<bool> ownerDisabled{false};
    std::wstring text;
    RECT client{};
    HWND notice = nullptr;
    std::thread closer([&] {
      for (int i = 0; i < 500 && notice == nullptr; ++i) {
        HWND found = FindWindowW(nullptr, L"ConfigDialog");
        if (found != nullptr && IsWindowVisible(found))
          notice = found;
        else
          Sleep(10);
      }
      if (notice == nullptr) return;
      ownerDisabled = !IsWindowEnabled(owner.hwnd);
      text = textOf(GetWindow(notice, GW_CHILD));
      GetClientRect(notice, &client);
      PostMessageW(notice, WM_CLOSE, 0, 0);
    });
    const int before = ConfigDialog::timesShown();
    Config();  // returns when the notice is closed
    closer.join();
    ASSERT_NE(notice, nullptr) << "no notice appeared";
    EXPECT_EQ(ConfigDialog::timesShown(), before + 1);
    EXPECT_EQ(text, L"Configuration Screens Are Now Accessed\r\nThrough The 'PlugIn Control' Menu");
    EXPECT_EQ(client.right, scale.x(349));
    EXPECT_EQ(client.bottom, scale.y(165));
    EXPECT_TRUE(ownerDisabled) << "modal: the owner waits";
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
    EXPECT_FALSE(IsWindow(notice)) << "discarded after each call";
    seen.push_back(notice);
  }
}

// The operator may have the counter window active when the host asks to configure the
// plug-in: the host's frame must wait all the same, and the counter window too.
TEST(ConfigNotice, TheHostFrameWaitsWhileAnotherWindowIsActive) {
  HostFrame frame({{"PlugIn Control", true}});
  HostFrame active({{"Tools", true}});
  ShowWindow(frame.hwnd, SW_SHOW);
  ShowWindow(active.hwnd, SW_SHOW);
  SetActiveWindow(active.hwnd);
  ASSERT_EQ(GetActiveWindow(), active.hwnd);
  std::atomic<bool> frameDisabled{false};
  std::atomic<bool> activeDisabled{false};
  std::atomic<HWND> owner{nullptr};
  std::thread closer([&] {
    for (int i = 0; i < 500; ++i) {
      HWND notice = FindWindowW(nullptr, L"ConfigDialog");
      if (notice != nullptr && IsWindowVisible(notice)) {
        owner = GetWindow(notice, GW_OWNER);
        frameDisabled = !IsWindowEnabled(frame.hwnd);
        activeDisabled = !IsWindowEnabled(active.hwnd);
        PostMessageW(notice, WM_CLOSE, 0, 0);
        return;
      }
      Sleep(10);
    }
  });
  Config();
  closer.join();
  EXPECT_EQ(owner.load(), frame.hwnd);
  EXPECT_TRUE(frameDisabled);
  EXPECT_TRUE(activeDisabled);
  EXPECT_TRUE(IsWindowEnabled(frame.hwnd));
  EXPECT_TRUE(IsWindowEnabled(active.hwnd));
}

// The system's text and the one written from the locale's patterns agree wherever the
// system writes dates at all, and the epoch (before 1601) comes out in the same pattern.
TEST(LocalDates, PatternsGiveTheSystemsTextInEveryLocale) {
  const wchar_t* locales[] = {L"en-US", L"en-GB", L"de-DE", L"fr-FR", L"vi-VN", L"ja-JP",
                              L"ko-KR", L"zh-CN", L"ru-RU", L"pl-PL", L"fi-FI", L"hu-HU"};
  const platform::LocalDateTime later[] = {
      {2026, 12, 8, 16, 5, 9, 0}, {1601, 1, 1, 0, 0, 0, 0}, {2000, 2, 29, 9, 7, 3, 0}};
  for (const wchar_t* locale : locales) {
    SCOPED_TRACE(platform::narrow(locale));
    for (const platform::LocalDateTime& when : later) {
      const std::string system =
          platform::formatDateTimeIn(locale, when, platform::DateFormatting::System);
      ASSERT_FALSE(system.empty());
      EXPECT_EQ(platform::formatDateTimeIn(locale, when, platform::DateFormatting::Patterns),
                system);
    }
    // 30 December 2017 was a Saturday, as 30 December 1899 was.
    std::string expected = platform::formatDateTimeIn(locale, {2017, 12, 30, 0, 0, 0, 0},
                                                      platform::DateFormatting::System);
    for (auto [from, to] : {std::pair<const char*, const char*>{"2017", "1899"}, {"17", "99"}}) {
      const size_t at = expected.find(from);
      if (at != std::string::npos) expected.replace(at, std::strlen(from), to);
    }
    EXPECT_EQ(platform::formatDateTimeIn(locale, {1899, 12, 30, 0, 0, 0, 0},
                                         platform::DateFormatting::Patterns),
              expected);
  }
  EXPECT_EQ(platform::formatDateTimeIn(L"en-US", {1899, 12, 30, 0, 0, 0, 0},
                                       platform::DateFormatting::Patterns),
            "12/30/1899 12:00:00 AM");
  // A calendar that counts years otherwise is left to the ISO form.
  EXPECT_EQ(platform::formatDateTimeIn(L"th-TH", {1899, 12, 30, 0, 0, 0, 0},
                                       platform::DateFormatting::Patterns),
            "");
}

// Windows XP has only the LCID calls. Forced onto them, every locale's text comes out as
// the named calls write it, through the system and from the patterns alike, and the date
// shown in the counter window too; the seam then gives the system's choice back.
TEST(LocalDates, TheLcidCallsOfWindowsXpWriteWhatTheNamedCallsWrite) {
  ASSERT_TRUE(platform::namedLocaleCallsInUse()) << "Wine reports Vista or later here";
  const wchar_t* locales[] = {L"en-US", L"de-DE", L"ja-JP", L"ru-RU", L"th-TH"};
  const platform::LocalDateTime dates[] = {{2026, 12, 8, 16, 5, 9, 0}, {1899, 12, 30, 0, 0, 0, 0}};
  struct Written {
    std::string system, patterns;
  };
  auto writeAll = [&] {
    std::vector<Written> all;
    for (const wchar_t* locale : locales) {
      for (const platform::LocalDateTime& when : dates) {
        all.push_back(
            {platform::formatDateTimeIn(locale, when, platform::DateFormatting::System),
             platform::formatDateTimeIn(locale, when, platform::DateFormatting::Patterns)});
      }
    }
    return all;
  };
  const std::vector<Written> named = writeAll();
  const std::string userNamed = platform::formatLocalDateTime({2026, 12, 8, 16, 5, 9, 0});
  const std::string epochNamed = platform::formatLocalDateTime({1899, 12, 30, 0, 0, 0, 0});

  platform::forceLcidLocaleCalls(true);
  EXPECT_FALSE(platform::namedLocaleCallsInUse());
  const std::vector<Written> lcid = writeAll();
  const std::string userLcid = platform::formatLocalDateTime({2026, 12, 8, 16, 5, 9, 0});
  const std::string epochLcid = platform::formatLocalDateTime({1899, 12, 30, 0, 0, 0, 0});
  platform::forceLcidLocaleCalls(false);

  EXPECT_TRUE(platform::namedLocaleCallsInUse());
  ASSERT_EQ(lcid.size(), named.size());
  for (size_t i = 0; i < named.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lcid[i].system, named[i].system);
    EXPECT_EQ(lcid[i].patterns, named[i].patterns);
  }
  EXPECT_FALSE(named[0].system.empty());  // not two empty answers agreeing
  EXPECT_FALSE(named[1].patterns.empty());
  EXPECT_EQ(userLcid, userNamed);
  EXPECT_EQ(epochLcid, epochNamed);
  EXPECT_NE(epochLcid, "1899-12-30 00:00:00");  // from the locale's patterns, not the ISO form
}

// The system's own conversions, on whole seconds (they ignore milliseconds).
TEST(OleDateAgainstOleAut, AgreesWithVariantTimeConversionsOverTheRange) {
  int compared = 0;
  for (int64_t day = -657434; day <= 2958465; day += 3989) {
    const int seconds = static_cast<int>((day * 7919 % 86400 + 86400) % 86400);
    const double fraction = seconds / 86400.0;
    const double value = day < 0 ? day - fraction : day + fraction;
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(value, &st)) << value;
    std::optional<platform::LocalDateTime> ours = counter::dateTimeFromOleDate(value);
    ASSERT_TRUE(ours.has_value()) << value;
    ASSERT_EQ(ours->year, st.wYear) << value;
    ASSERT_EQ(ours->month, st.wMonth) << value;
    ASSERT_EQ(ours->day, st.wDay) << value;
    ASSERT_EQ(ours->hour, st.wHour) << value;
    ASSERT_EQ(ours->minute, st.wMinute) << value;
    ASSERT_EQ(ours->second, st.wSecond) << value;
    double theirs = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &theirs)) << value;
    ASSERT_NEAR(counter::oleDateFromDateTime(*ours), theirs, 1e-8) << value;
    ++compared;
  }
  EXPECT_GT(compared, 900);
  for (double edge : {0.0, -1.25, 1.5, 60.0, 61.0, 36584.75, -657434.0, 2958465.0}) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(edge, &st)) << edge;
    std::optional<platform::LocalDateTime> ours = counter::dateTimeFromOleDate(edge);
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(ours->year * 10000 + ours->month * 100 + ours->day,
              st.wYear * 10000 + st.wMonth * 100 + st.wDay)
        << edge;
    EXPECT_EQ(ours->hour * 60 + ours->minute, st.wHour * 60 + st.wMinute) << edge;
  }
}

}  // namespace

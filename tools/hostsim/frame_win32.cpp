// The host's main frame: the menu bar the plug-in adds its item to, the simulated
// machine's panel, and the 100 ms update tick. The window procedure only turns
// messages into calls on the host state and the plug-in.

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host_win32.h"
#include "ole_date.h"
#include "platform/unique_handle_win32.h"
#include "platform/win32_text.h"
#include "profile_settings.h"
#include "run_log_view.h"
#include "tallymark_version.h"

namespace tallymark::hostsim {

namespace {

using tallymark::platform::narrow;
using tallymark::platform::widen;

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 100;

enum ControlId : int {
  kCycleStart = 100,
  kStop,
  kLedText,
  kQualifierEdit,
  kQualifierSet,
  kRunsEdit,
  kSecondsEdit,
  kPauseEdit,
  kProductionButton,
  kProductionText,
  kCountText,
  kTotalText,
  kLastResetText,
  kStatusText,
  kRunLogText,
  kBatchText,
};

// The run log's last lines shown in the panel.
constexpr size_t kRunLogLines = 4;
constexpr long long kRunLogTailBytes = 4096;

const wchar_t kFrameClass[] = L"TallymarkHostSimFrame";

// The profile's batch settings, read when the panel is built (the plug-in reads them at
// SetProName, before).
BatchSettings gBatch;

HWND item(HWND frame, int id) {
  return GetDlgItem(frame, id);
}

void setText(HWND control, const std::wstring& text) {
  wchar_t current[512];
  GetWindowTextW(control, current, 512);
  if (text != current) SetWindowTextW(control, text.c_str());
}

std::string textOf(HWND control) {
  wchar_t buffer[256];
  GetWindowTextW(control, buffer, 256);
  return narrow(buffer);
}

bool parseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(value);
}

std::wstring figure(double value) {
  wchar_t text[64];
  swprintf(text, 64, L"%.15g", value);
  return text;
}

void addControl(HWND frame, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x,
                int y, int w, int hgt) {
  HWND c = CreateWindowExW(cls == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, cls, text,
                           WS_CHILD | WS_VISIBLE | style, x, y, w, hgt, frame,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

void buildPanel(HWND f) {
  const DWORD label = SS_LEFT, button = BS_PUSHBUTTON | WS_TABSTOP,
              edit = ES_AUTOHSCROLL | WS_TABSTOP;
  addControl(f, L"BUTTON", L"Cycle Start", button, kCycleStart, 10, 10, 100, 28);
  addControl(f, L"BUTTON", L"Stop", button, kStop, 118, 10, 80, 28);
  addControl(f, L"STATIC", L"LED 804 (run): off", label, kLedText, 214, 17, 240, 16);
  addControl(f, L"STATIC", L"DRO 22 (run qualifier):", label, 0, 10, 53, 150, 16);
  addControl(f, L"EDIT", L"", edit, kQualifierEdit, 165, 50, 70, 22);
  addControl(f, L"BUTTON", L"Set", button, kQualifierSet, 240, 49, 50, 24);
  addControl(f, L"STATIC", L"Production:", label, 0, 10, 89, 70, 16);
  addControl(f, L"EDIT", L"5", edit, kRunsEdit, 82, 86, 40, 22);
  addControl(f, L"STATIC", L"runs of", label, 0, 127, 89, 45, 16);
  addControl(f, L"EDIT", L"2", edit, kSecondsEdit, 173, 86, 40, 22);
  addControl(f, L"STATIC", L"s, pause", label, 0, 218, 89, 50, 16);
  addControl(f, L"EDIT", L"1", edit, kPauseEdit, 268, 86, 40, 22);
  addControl(f, L"STATIC", L"s", label, 0, 312, 89, 10, 16);
  addControl(f, L"BUTTON", L"Start production", button, kProductionButton, 330, 84, 130, 26);
  addControl(f, L"STATIC", L"idle", label, kProductionText, 82, 116, 380, 16);
  addControl(f, L"STATIC", L"DRO 1500 (count):", label, 0, 10, 146, 150, 16);
  addControl(f, L"STATIC", L"", label, kCountText, 165, 146, 290, 16);
  addControl(f, L"STATIC", L"DRO 1501 (total):", label, 0, 10, 170, 150, 16);
  addControl(f, L"STATIC", L"", label, kTotalText, 165, 170, 290, 16);
  addControl(f, L"STATIC", L"DRO 1502 (last reset):", label, 0, 10, 194, 150, 16);
  addControl(f, L"STATIC", L"", label, kLastResetText, 165, 194, 290, 16);
  addControl(f, L"STATIC", L"", label, kStatusText, 10, 226, 450, 16);
  addControl(f, L"STATIC", L"Run log (last lines):", label, 0, 10, 252, 450, 16);
  addControl(f, L"STATIC", L"", label | SS_NOPREFIX, kRunLogText, 10, 270, 620, 16 * kRunLogLines);
  addControl(f, L"STATIC", L"", label | SS_NOPREFIX, kBatchText, 10, 340, 620, 16);
}

void loadBatchSettings(const Host& h) {
  std::ifstream in(std::filesystem::u8path(h.profilePath), std::ios::binary);
  const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  gBatch = readBatchSettings(xml);
}

// Reads the end of the run log when its size changed. The plug-in writes whole lines,
// and a partial one at the end is left for the next look.
void refreshRunLog(Host& h) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(widen(h.runLogPath).c_str(), GetFileExInfoStandard, &info)) return;
  const long long size = static_cast<long long>(
      (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  if (size == h.runLogSize) return;
  const platform::UniqueHandle file(
      CreateFileW(widen(h.runLogPath).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const long long from = size > kRunLogTailBytes ? size - kRunLogTailBytes : 0;
  LARGE_INTEGER at;
  at.QuadPart = from;
  std::string tail(static_cast<size_t>(size - from), '\0');
  DWORD got = 0;
  const bool read =
      SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) &&
      ReadFile(file.get(), tail.data(), static_cast<DWORD>(tail.size()), &got, nullptr);
  if (!read) return;
  tail.resize(got);
  h.runLogSize = size;
  std::wstring text;
  for (const std::string& line : lastLogLines(tail, from == 0, kRunLogLines))
    text += widen(line) + L"\r\n";
  setText(item(h.frame, kRunLogText), text);
}

void refreshPanel(Host& h) {
  HWND f = h.frame;
  const MachineState& m = h.machine;
  setText(item(f, kLedText),
          m.led(804) ? L"LED 804 (run): ON - program running" : L"LED 804 (run): off");
  if (GetFocus() != item(f, kQualifierEdit)) setText(item(f, kQualifierEdit), figure(m.dro(22)));
  setText(item(f, kCountText), figure(m.dro(1500)));
  setText(item(f, kTotalText), figure(m.dro(1501)));
  setText(item(f, kLastResetText), widen(formatOleDate(m.dro(1502))));
  if (h.production.active()) {
    wchar_t text[96];
    swprintf(text, 96, L"run %d of %d", h.production.currentRun(), h.production.runs());
    setText(item(f, kProductionText), text);
    setText(item(f, kProductionButton), L"Stop production");
  } else {
    setText(item(f, kProductionText), L"idle");
    setText(item(f, kProductionButton), L"Start production");
  }
  wchar_t status[512];
  swprintf(status, 512, L"Plug-in %ls; automation asked %d time(s)", widen(h.pluginName).c_str(),
           h.scriptDispatchRequests.load());
  setText(item(f, kStatusText), status);
  const int led = std::atoi(gBatch.led.c_str());
  std::string batch = "Profile: " + describeBatchSettings(gBatch, led > 0 && m.led(led));
  if (!h.codeLines.empty()) {
    batch += "; code received: \"" + h.codeLines.back() + "\"";
    if (h.codeLines.size() > 1) batch += " (" + std::to_string(h.codeLines.size()) + " lines)";
  }
  setText(item(f, kBatchText), widen(batch));
}

void tick(Host& h) {
  if (h.inUpdate || h.stopped) return;
  if (h.production.active()) h.machine.setLed(804, h.production.ledForTick(GetTickCount64()));
  h.inUpdate = true;
  h.api.Update();
  h.inUpdate = false;
  refreshPanel(h);
  refreshRunLog(h);
  saveState(h);
}

void startProduction(Host& h) {
  if (h.production.active()) {
    h.production.stop();
    h.machine.setLed(804, false);
    return;
  }
  double runs = 0, seconds = 0, pause = 0;
  std::string problem;
  if (!parseNumber(textOf(item(h.frame, kRunsEdit)), runs) || runs != std::floor(runs) ||
      !parseNumber(textOf(item(h.frame, kSecondsEdit)), seconds) ||
      !parseNumber(textOf(item(h.frame, kPauseEdit)), pause))
    problem = "runs, seconds and pause must be numbers (runs a whole number)";
  else
    problem = Production::check(static_cast<int>(runs), seconds, pause);
  if (!problem.empty()) {
    MessageBoxW(h.frame, widen(problem).c_str(), L"Production", MB_OK | MB_ICONWARNING);
    return;
  }
  h.production.start(static_cast<int>(runs), seconds, pause, GetTickCount64());
}

void onCommand(Host& h, int id) {
  if (id >= h.firstPluginId && id < h.nextPluginId) {
    h.api.Notify(id);
    return;
  }
  switch (id) {
    case kConfigCommand:
      // Modal inside the plug-in: ticks go on meanwhile, from the dialog's message loop.
      h.configRunning = true;
      ++h.configCalls;
      h.api.Config();
      h.configRunning = false;
      break;
    case kExitCommand:
      PostMessageW(h.frame, WM_CLOSE, 0, 0);
      break;
    case kCycleStart:
    case kStop:
      h.production.stop();
      h.machine.setLed(804, id == kCycleStart);
      break;
    case kQualifierSet: {
      double value = 0;
      if (parseNumber(textOf(item(h.frame, kQualifierEdit)), value))
        h.machine.setDro(22, value);
      else
        MessageBeep(MB_ICONWARNING);
      SetFocus(h.frame);
      break;
    }
    case kProductionButton:
      startProduction(h);
      break;
  }
  refreshPanel(h);
}

LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Host& h = host();
  switch (msg) {
    case WM_COMMAND:
      // Menu items and button clicks; the edits' change notifications are not commands.
      if (h.frame == hwnd && (lp == 0 || HIWORD(wp) == BN_CLICKED)) onCommand(h, LOWORD(wp));
      return 0;
    case WM_TIMER:
      if (wp == kTickTimer) tick(h);
      return 0;
    case kRunOnUiMessage:
      (*reinterpret_cast<const std::function<void()>*>(lp))();
      return 1;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
      shutDown(h);
      return 0;
    case WM_DESTROY:
      h.frame = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HMENU buildMenu() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kExitCommand, L"E&xit");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  HMENU config = CreatePopupMenu();
  AppendMenuW(config, MF_STRING, kConfigCommand, L"Config &Plugins...");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(config), L"&Config");
  // Plug-ins append their own items to this popup; its text is what they look for.
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"PlugIn Control");
  return bar;
}

}  // namespace

HWND createFrame(Host& h) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = frameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kFrameClass;
  RegisterClassExW(&wc);
  RECT r{0, 0, 640, 364};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, TRUE);
  // Placed right of where new windows usually appear, so the counter window does not
  // cover the panel.
  h.frame = CreateWindowExW(0, kFrameClass,
                            L"hostsim " TALLYMARK_VERSION " - substitute host for TALLY_MARK.dll",
                            WS_OVERLAPPEDWINDOW, 420, 20, r.right - r.left, r.bottom - r.top,
                            nullptr, buildMenu(), wc.hInstance, nullptr);
  if (h.frame == nullptr) return nullptr;
  buildPanel(h.frame);
  loadBatchSettings(h);
  refreshPanel(h);
  ShowWindow(h.frame, SW_SHOWNORMAL);
  UpdateWindow(h.frame);
  return h.frame;
}

void startTicking(Host& h) {
  SetTimer(h.frame, kTickTimer, kTickMs, nullptr);
}

bool runOnUi(Host& h, const std::function<void()>& fn) {
  HWND frame = h.frame;
  if (frame == nullptr) return false;
  if (GetWindowThreadProcessId(frame, nullptr) == GetCurrentThreadId()) {
    fn();
    return true;
  }
  return SendMessageW(frame, kRunOnUiMessage, 0, reinterpret_cast<LPARAM>(&fn)) == 1;
}

void saveState(Host& h) {
  if (!h.machine.dirty()) return;
  std::string error;
  if (saveStateFile(h.statePath, h.machine.dros(), error))
    h.machine.markClean();
  else
    std::fprintf(stderr, "hostsim: %s\n", error.c_str());
}

void shutDown(Host& h) {
  if (!h.stopped) {
    h.stopped = true;
    KillTimer(h.frame, kTickTimer);
    h.production.stop();
    h.machine.setLed(804, false);
    h.api.StopPlug();
    saveState(h);
  }
  if (h.frame != nullptr) DestroyWindow(h.frame);
}

}  // namespace tallymark::hostsim

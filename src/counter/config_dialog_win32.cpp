// The notice as a real modal window: its own message loop, with the owner (the host's
// frame) and the window that was active disabled while it is open.
#include <windows.h>

#include <string>
#include <vector>

#include "counter/config_dialog.h"
#include "counter/ui_metrics_win32.h"
#include "platform/win32_text.h"

namespace {

namespace ui = tallymark::counter::ui;

const wchar_t kClass[] = L"TallymarkConfigDialog";
constexpr int kLabelId = 1;
int shown = 0;

struct DialogState {
  bool closed = false;
};

LRESULT CALLBACK dialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(
        hwnd, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  }
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_CLOSE && state != nullptr) {
    // The loop below destroys the window once the owner is enabled again, so that
    // activation goes back to the owner and not to some other application.
    state->closed = true;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void ConfigDialog::showDialog(void* hostFrame) {
  ++shown;
  static const bool registered = [] {
    ui::registerWindowClass(kClass, dialogProc, false);
    return true;
  }();
  (void)registered;

  ui::Scale scale;
  // Declared before the dialog: the label uses the font until the dialog is destroyed.
  const tallymark::platform::UniqueHfont font = ui::createFont(ui::kDefaultPoints, false);
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT outer{0, 0, scale.x(349), scale.y(165)};
  AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME);
  HWND active = GetActiveWindow();
  HWND owner = hostFrame != nullptr ? static_cast<HWND>(hostFrame) : active;
  DialogState state;
  HWND dialog =
      CreateWindowExW(WS_EX_DLGMODALFRAME, kClass, tallymark::platform::widen(kCaption).c_str(),
                      style, CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                      outer.bottom - outer.top, owner, nullptr, ui::moduleInstance(), &state);
  if (dialog == nullptr) return;
  const std::wstring text = tallymark::platform::widen(kText);
  SIZE size = ui::measureText(font.get(), text.c_str(), true);
  HWND label = CreateWindowExW(
      0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, scale.x(19),
      scale.y(36), size.cx + 1, size.cy, dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)), ui::moduleInstance(), nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);

  // The host's frame waits for the notice, and so does the window that was active, which
  // may be the counter window rather than the frame.
  std::vector<HWND> disabled;
  for (HWND window : {owner, active}) {
    if (window != nullptr && IsWindowEnabled(window) &&
        (disabled.empty() || disabled.front() != window)) {
      EnableWindow(window, FALSE);
      disabled.push_back(window);
    }
  }
  ShowWindow(dialog, SW_SHOW);
  SetForegroundWindow(dialog);

  MSG msg;
  bool quit = false;
  WPARAM quitCode = 0;
  while (!state.closed && IsWindow(dialog)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {  // WM_QUIT belongs to the host's own loop: hand it back afterwards
      quit = true;
      quitCode = msg.wParam;
      break;
    }
    if (got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  for (HWND window : disabled) EnableWindow(window, TRUE);
  if (!disabled.empty()) SetActiveWindow(active != nullptr ? active : owner);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

int ConfigDialog::timesShown() {
  return shown;
}

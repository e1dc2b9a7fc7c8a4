// A stand-in plug-in for testing hostsim itself: the same exports, a menu item, a
// "COUNTER" window with a RESET button and a "Confirm?" box, a "ConfigDialog" notice,
// the automation attachment, and a log of the calls in the order the host made them,
// written beside the profile at StopPlug. It lets the host's side be checked on its
// own, whatever state the real plug-in is in.

// windows.h before the headers that build on it.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
// clang-format on

#include <cstdio>
#include <string>

#include "plugin/host_types.h"

namespace {

GetDROFn getDro;
SetDROFn setDro;
GetLEDFn getLed;
GetMenuRangeFn getMenuRange;
std::string calls;
std::string profile;
DWORD hostThread;
int menuId = -1;
HWND counter, countLabel, totalLabel, lastResetLabel;
bool armed, resetRequested;
double resetTime;

void log(const std::string& call) {
  if (!calls.empty() && calls.size() >= call.size() &&
      calls.compare(calls.size() - call.size(), call.size(), call) == 0 && call == "Update")
    return;  // one entry for a series of ticks
  calls += (calls.empty() ? "" : " ") + call;
}

void setNumber(HWND label, double value) {
  wchar_t text[32];
  swprintf(text, 32, L"%d", static_cast<int>(value));
  SetWindowTextW(label, text);
}

LRESULT CALLBACK counterProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
    if (MessageBoxW(hwnd, L"Are you sure to reset?", L"Confirm?", MB_YESNO) == IDYES) {
      SYSTEMTIME now;
      GetLocalTime(&now);
      SystemTimeToVariantTime(&now, &resetTime);
      resetRequested = true;
    }
    return 0;
  }
  if (msg == WM_CLOSE) {
    ShowWindow(hwnd, SW_HIDE);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND child(const wchar_t* cls, const wchar_t* text, int x, int y, int w, int h) {
  return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE, x, y, w, h, counter, nullptr, nullptr,
                         nullptr);
}

BOOL CALLBACK findFrame(HWND hwnd, LPARAM lp) {
  if (GetMenu(hwnd) == nullptr) return TRUE;
  *reinterpret_cast<HWND*>(lp) = hwnd;
  return FALSE;
}

// GetActiveObject on the host's CLSID, then "GetScriptDispatch": 1 when a VT_DISPATCH
// came back, otherwise the failing HRESULT.
double attachAutomation() {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Mach4.Document", &clsid)) &&
      FAILED(
          CLSIDFromString(const_cast<LPOLESTR>(L"{CA7992B2-2653-4342-8061-D7D385C07809}"), &clsid)))
    return -1;
  IUnknown* unknown = nullptr;
  HRESULT hr = GetActiveObject(clsid, nullptr, &unknown);
  if (FAILED(hr)) return hr;
  IDispatch* document = nullptr;
  hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&document));
  unknown->Release();
  if (FAILED(hr)) return hr;
  LPOLESTR name = const_cast<LPOLESTR>(L"GetScriptDispatch");
  DISPID id;
  hr = document->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  hr = document->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                        nullptr, nullptr);
  if (FAILED(hr)) return hr;
  return result.vt == VT_DISPATCH && result.pdispVal != nullptr ? 1 : -2;
}

}  // namespace

extern "C" {

void TM_CDECL SetGetDRO(GetDROFn f) {
  getDro = f, log("SetGetDRO");
}
void TM_CDECL SetSetDRO(SetDROFn f) {
  setDro = f, log("SetSetDRO");
}
void TM_CDECL SetGetLED(GetLEDFn f) {
  getLed = f, log("SetGetLED");
}
void TM_CDECL SetSetLED(SetLEDFn) {
  log("SetSetLED");
}
void TM_CDECL SetCode(CodeFn) {
  log("SetCode");
}
void TM_CDECL SetDoButton(DoButtonFn) {
  log("SetDoButton");
}
void TM_CDECL SetGetMenuRange(GetMenuRangeFn f) {
  getMenuRange = f, log("SetGetMenuRange");
}

const char* TM_CDECL SetProName(const char* name) {
  profile = name;
  log("SetProName");
  return "StandIn_v1";
}

bool TM_CDECL InitControl(TrajBuffer*, setup_struct*, _TrajectoryControl*, _CMach4View* view) {
  log("InitControl");
  hostThread = GetCurrentThreadId();
  // S_FALSE: the host has initialised COM on this thread already, as it must.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (com == S_FALSE) CoUninitialize();
  log(com == S_FALSE ? "com-ready" : "com-missing");
  if (view == nullptr) log("no-view");
  menuId = getMenuRange(1);
  setDro(3000, attachAutomation());
  return true;
}

void TM_CDECL PostInitControl() {
  log("PostInitControl");
  HWND frame = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findFrame, reinterpret_cast<LPARAM>(&frame));
  HMENU bar = frame ? GetMenu(frame) : nullptr;
  for (int i = 0; bar && i < GetMenuItemCount(bar); ++i) {
    char text[64] = {};
    GetMenuStringA(bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    if (std::string(text) == "PlugIn Control") {
      InsertMenuA(GetSubMenu(bar, i), static_cast<UINT>(-1), MF_BYPOSITION, menuId, "Tally_Mark");
      break;
    }
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = counterProc;
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = L"HostSimStandInCounter";
  RegisterClassW(&wc);
  counter = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"COUNTER", WS_OVERLAPPEDWINDOW, 10,
                            10, 300, 260, nullptr, nullptr, nullptr, nullptr);
  countLabel = child(L"STATIC", L"00000", 10, 10, 200, 40);
  child(L"BUTTON", L"RESET", 10, 60, 80, 30);
  child(L"STATIC", L"Total:", 10, 110, 60, 20);
  totalLabel = child(L"STATIC", L"00000", 80, 110, 100, 20);
  child(L"STATIC", L"Last Reset:", 10, 140, 70, 20);
  lastResetLabel = child(L"STATIC", L"00000", 90, 140, 180, 20);
}

void TM_CDECL Update() {
  log(GetCurrentThreadId() == hostThread ? "Update" : "Update-on-another-thread");
  if (counter == nullptr) return;
  setNumber(countLabel, getDro(1500));
  setNumber(totalLabel, getDro(1501));
  wchar_t text[32];
  swprintf(text, 32, L"%.6f", getDro(1502));
  SetWindowTextW(lastResetLabel, text);
  if (resetRequested) {
    resetRequested = false;
    setDro(1500, 0);
    setDro(1502, resetTime);
  }
  if (getLed(804)) {
    if (getDro(22) > 0) armed = true;
  } else if (armed) {
    armed = false;
    setDro(1500, static_cast<int>(getDro(1500)) + 1);
    setDro(1501, static_cast<int>(getDro(1501)) + 1);
  }
}

void TM_CDECL Notify(int id) {
  log("Notify");
  if (id == menuId) ShowWindow(counter, SW_SHOW);
}

void TM_CDECL Config() {
  log("Config");
  HWND notice = CreateWindowExW(0, L"STATIC", L"ConfigDialog", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                50, 300, 150, nullptr, nullptr, nullptr, nullptr);
  // Modal: this call returns only when the notice has been closed (a static control's
  // default handling of WM_CLOSE destroys it).
  MSG msg;
  while (IsWindow(notice) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TM_CDECL StopPlug() {
  log("StopPlug");
  setDro(3001, 1);
  FILE* f = std::fopen((profile + ".calls").c_str(), "wb");
  if (f != nullptr) {
    std::fputs(calls.c_str(), f);
    std::fclose(f);
  }
}

}  // extern "C"

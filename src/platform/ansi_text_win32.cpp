#include <windows.h>

#include "platform/ansi_text.h"
#include "platform/win32_text.h"

namespace tallymark::platform {

std::string toAnsiCodePage(std::string_view utf8) {
  std::wstring wide = widen(utf8);
  if (wide.empty()) return {};
  UINT codePage = CP_ACP;
  // WC_NO_BEST_FIT_CHARS is refused (ERROR_INVALID_FLAGS) by UTF-8 and some other
  // code pages; with UTF-8 as the ANSI code page nothing needs substituting anyway.
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  char defaultChar[] = "?";
  char* defaultArg = defaultChar;
  CPINFOEXW info{};
  if (GetCPInfoExW(codePage, 0, &info) && info.CodePage == CP_UTF8) {
    flags = 0;
    defaultArg = nullptr;
  }
  int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr,
                              0, defaultArg, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      defaultArg, nullptr);
  return out;
}

std::string fromAnsiCodePage(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), n);
  return narrow(wide);
}

}  // namespace tallymark::platform

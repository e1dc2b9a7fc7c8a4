#include <windows.h>

#include <climits>
#include <string>

#include "platform/text_encoding.h"
#include "platform/win32_text.h"

namespace tallymark::platform {
namespace {

struct NamedCodePage {
  const char* name;
  UINT codePage;
};

// Names that carry no code page number.
constexpr NamedCodePage kNamedCodePages[] = {
    {"us-ascii", 20127},    {"ascii", 20127},        {"shift_jis", 932},
    {"shift-jis", 932},     {"sjis", 932},           {"x-sjis", 932},
    {"ms_kanji", 932},      {"windows-31j", 932},    {"gb2312", 936},
    {"gbk", 936},           {"gb18030", 54936},      {"big5", 950},
    {"euc-kr", 949},        {"ks_c_5601-1987", 949}, {"euc-jp", 20932},
    {"koi8-r", 20866},      {"koi8-u", 21866},       {"macintosh", 10000},
    {"x-mac-roman", 10000}, {"tis-620", 874},        {"utf-7", 65000},
    {"iso-2022-jp", 50220}, {"iso-2022-kr", 50225},  {"hz-gb-2312", 52936},
};

// Names that end in the code page's number, or in the part number of ISO 8859.
struct NumberedName {
  const char* prefix;
  UINT base;
};
constexpr NumberedName kNumberedNames[] = {
    {"windows-", 0}, {"x-cp", 0},          {"cp", 0},           {"ibm", 0},
    {"ms", 0},       {"iso-8859-", 28590}, {"iso8859-", 28590}, {"iso_8859-", 28590},
};

// 0 for a name that is none of these.
UINT codePageOf(std::string_view encoding) {
  std::string name(encoding);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const NamedCodePage& known : kNamedCodePages) {
    if (name == known.name) return known.codePage;
  }
  for (const NumberedName& form : kNumberedNames) {
    const std::string_view prefix = form.prefix;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 5) return 0;
    UINT number = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return 0;
      number = number * 10 + static_cast<UINT>(c - '0');
    }
    // 0 to 3 are not code pages but "the current ANSI / OEM / Mac / thread" ones, which
    // would read the file differently from machine to machine.
    if (form.base == 0 && number < 37) return 0;
    return form.base + number;
  }
  return 0;
}

// `text` in `codePage`; false when a character has no exact form there.
bool encode(const std::wstring& text, UINT codePage, std::string& out) {
  const int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  BOOL* usedDefaultArg = &usedDefault;
  int n = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr,
                              usedDefaultArg);
  if (n == 0 &&
      (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
    // UTF-7 and the ISO-2022 family take neither the flag nor the default-character
    // report; the comparison of the bytes still catches what they could not write.
    flags = 0;
    usedDefaultArg = nullptr;
    n = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  }
  if (n <= 0) return false;
  out.assign(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), n, nullptr,
                          usedDefaultArg) != n) {
    return false;
  }
  return !usedDefault;
}

}  // namespace

std::optional<std::string> decodeToUtf8(std::string_view bytes, std::string_view encoding) {
  const UINT codePage = codePageOf(encoding);
  if (codePage == 0 || bytes.size() > INT_MAX / 2) return std::nullopt;
  if (bytes.empty()) return std::string();
  const int length = static_cast<int>(bytes.size());
  DWORD flags = MB_ERR_INVALID_CHARS;
  int n = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
  if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;  // as above: some code pages refuse the flag
    n = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
  }
  if (n <= 0) return std::nullopt;
  std::wstring text(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(codePage, flags, bytes.data(), length, text.data(), n) != n) {
    return std::nullopt;
  }
  // Exact only when the characters read give back the very bytes they came from.
  std::string again;
  if (!encode(text, codePage, again) || again != bytes) return std::nullopt;
  return narrow(text);
}

}  // namespace tallymark::platform

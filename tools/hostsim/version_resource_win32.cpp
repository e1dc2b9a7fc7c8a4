#include "version_resource_win32.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/win32_text.h"

namespace tallymark::hostsim {

namespace {

// Every string a VERSIONINFO block usually holds; VerQueryValue cannot list a table.
const char* const kStringNames[] = {"Comments",         "CompanyName",  "FileDescription",
                                    "FileVersion",      "InternalName", "LegalCopyright",
                                    "OriginalFilename", "PrivateBuild", "ProductName",
                                    "ProductVersion",   "SpecialBuild"};

void splitVersion(DWORD high, DWORD low, unsigned (&parts)[4]) {
  parts[0] = HIWORD(high);
  parts[1] = LOWORD(high);
  parts[2] = HIWORD(low);
  parts[3] = LOWORD(low);
}

}  // namespace

bool readVersionResource(const std::string& path, VersionResource& out) {
  using tallymark::platform::narrow;
  using tallymark::platform::widen;
  const std::wstring file = widen(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return false;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE)
    return false;
  splitVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS, out.fileVersion);
  splitVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS, out.productVersion);
  out.fileType = fixed->dwFileType;

  struct Translation {
    WORD language, codePage;
  };
  Translation* translations = nullptr;
  out.strings.clear();
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation))
    return true;
  wchar_t table[64];
  std::swprintf(table, 64, L"\\StringFileInfo\\%04x%04x\\", translations[0].language,
                translations[0].codePage);
  for (const char* name : kStringNames) {
    const std::wstring query = table + widen(name);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr)
      continue;
    // The length counts the terminating zero, which a damaged file may lack.
    std::wstring text(value, length);
    text.erase(std::min(text.find(L'\0'), text.size()));
    out.strings[name] = narrow(text);
  }
  return true;
}

}  // namespace tallymark::hostsim

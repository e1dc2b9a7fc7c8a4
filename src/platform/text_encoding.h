// Text in the 8-bit and multi-byte encodings a file may declare, read through the
// system's own conversion tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallymark::platform {

// `bytes`, text in the encoding named `encoding` (as an XML declaration names it:
// "windows-1252", "Shift_JIS", "cp1258"), as UTF-8. Empty when the system does not know
// the encoding or cannot read these bytes exactly: a byte sequence the encoding does not
// define, or characters that would not give back the very same bytes. Windows knows the
// code pages that MultiByteToWideChar converts; Linux the charsets of glibc's iconv.
std::optional<std::string> decodeToUtf8(std::string_view bytes, std::string_view encoding);

}  // namespace tallymark::platform

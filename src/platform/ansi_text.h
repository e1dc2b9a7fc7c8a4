// Conversion of UTF-8 text into the 8-bit text that older Windows interfaces expect.
#pragma once

#include <string>
#include <string_view>

namespace tallymark::platform {

// The ANSI code page is the process's (CP_ACP), the one the system's ...A file
// functions use, never the calling thread's: a thread may run with another locale
// (Russian formats on a German system), and a name encoded in one and decoded in the
// other names another file.

// `utf8` in the process's ANSI code page. A character the code page lacks
// becomes the code page's default character ("?"), never a look-alike ("ā" does not
// turn into "a"), so a converted path or name cannot silently point somewhere else.
// On Linux, where 8-bit text is UTF-8, the bytes stay as they are.
std::string toAnsiCodePage(std::string_view utf8);

// 8-bit text in the process's ANSI code page (a name the host hands over) as UTF-8.
// On Linux the bytes stay as they are.
std::string fromAnsiCodePage(std::string_view ansi);

}  // namespace tallymark::platform

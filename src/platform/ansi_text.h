// Conversion of UTF-8 text into the 8-bit text that older Windows interfaces expect.
#pragma once

#include <string>
#include <string_view>

namespace tallymark::platform {

// `utf8` in the calling thread's ANSI code page. A character the code page lacks
// becomes the code page's default character ("?"), never a look-alike ("ā" does not
// turn into "a"), so a converted path or name cannot silently point somewhere else.
// On Linux, where 8-bit text is UTF-8, the bytes stay as they are.
std::string toAnsiCodePage(std::string_view utf8);

}  // namespace tallymark::platform

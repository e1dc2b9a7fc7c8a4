#include "platform/ansi_text.h"

namespace tallymark::platform {

std::string toAnsiCodePage(std::string_view utf8) {
  return std::string(utf8);
}

}  // namespace tallymark::platform

#include "platform/ansi_text.h"

namespace tallymark::platform {

std::string toAnsiCodePage(std::string_view utf8) {
  return std::string(utf8);
}

std::string fromAnsiCodePage(std::string_view ansi) {
  return std::string(ansi);
}

}  // namespace tallymark::platform

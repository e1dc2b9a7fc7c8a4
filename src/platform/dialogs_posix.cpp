#include <cstdio>

#include "platform/dialogs.h"

namespace tallymark::platform::detail {

MessageAnswer showNativeMessage(const MessageRequest& request, void*) {
  std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
  return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

}  // namespace tallymark::platform::detail

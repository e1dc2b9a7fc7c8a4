#include "platform/dialogs.h"

namespace tallymark::platform {

MessageAnswer showMessage(const std::string& text, const std::string& caption,
                          MessageButtons buttons, void* owner) {
  MessageRequest request{text, caption, buttons};
  return detail::showNativeMessage(request, owner);
}

}  // namespace tallymark::platform

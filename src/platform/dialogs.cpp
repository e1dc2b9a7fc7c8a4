#include "platform/dialogs.h"

#include <utility>

namespace tallymark::platform {
namespace {
MessageHook& hookSlot() {
  static MessageHook hook;
  return hook;
}
}  // namespace

MessageAnswer showMessage(const std::string& text, const std::string& caption,
                          MessageButtons buttons, void* owner) {
  MessageRequest request{text, caption, buttons};
  if (hookSlot()) return hookSlot()(request);
  return detail::showNativeMessage(request, owner);
}

void setMessageHook(MessageHook hook) {
  hookSlot() = std::move(hook);
}

}  // namespace tallymark::platform

#include <windows.h>

#include "platform/dialogs.h"
#include "platform/win32_text.h"

namespace tallymark::platform::detail {

MessageAnswer showNativeMessage(const MessageRequest& request, void* owner) {
  UINT type = request.buttons == MessageButtons::YesNo ? MB_YESNO | MB_DEFBUTTON1 : MB_OK;
  int answer = MessageBoxW(static_cast<HWND>(owner), widen(request.text).c_str(),
                           widen(request.caption).c_str(), type);
  switch (answer) {
    case IDYES:
      return MessageAnswer::Yes;
    case IDNO:
      return MessageAnswer::No;
    default:
      return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
}

}  // namespace tallymark::platform::detail

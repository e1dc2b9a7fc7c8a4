// Modal message boxes. Every box the plug-in shows goes through an Environment
// (environment.h), so that tests can answer them on any platform; Windows tests can
// instead find and click the real box.
#pragma once

#include <functional>
#include <string>

namespace tallymark::platform {

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  MessageButtons buttons;
};

// Shows a modal box with no icon, the first button being the default, and blocks the
// calling thread until it is answered. `owner` is the native window the box belongs to
// (an HWND on Windows) or null. On a system with no message boxes (Linux), the text
// goes to stderr and the answer is Ok, or No for a Yes/No question.
MessageAnswer showMessage(const std::string& text, const std::string& caption,
                          MessageButtons buttons, void* owner = nullptr);

// Answers a box instead of showing it (Environment::messages).
using MessageHook = std::function<MessageAnswer(const MessageRequest&)>;

namespace detail {
// The platform's own box; implemented once per platform.
MessageAnswer showNativeMessage(const MessageRequest& request, void* owner);
}  // namespace detail

}  // namespace tallymark::platform

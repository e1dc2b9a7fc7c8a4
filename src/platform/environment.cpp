#include "platform/environment.h"

#include <thread>

#include "platform/clock.h"

namespace tallymark::platform {

ZonedDateTime Environment::zonedNow() const {
  return zonedClock ? zonedClock() : platform::zonedNow();
}

uint32_t Environment::monotonicNow() const {
  return monotonicClock ? monotonicClock() : monotonicMillis();
}

void Environment::sleepTill(SteadyTime when) const {
  if (sleepUntil) {
    sleepUntil(when);
  } else {
    std::this_thread::sleep_until(when);
  }
}

MessageAnswer Environment::showMessage(const std::string& text, const std::string& caption,
                                       MessageButtons buttons, void* owner) const {
  if (messages) return messages(MessageRequest{text, caption, buttons});
  return platform::showMessage(text, caption, buttons, owner);
}

bool Environment::replaceFile(const std::string& path, const std::string& contents,
                              std::string& error) const {
  return replaceFileAtomically(path, contents, error, fileFaults);
}

std::unique_ptr<AppendFile> Environment::newAppendFile() const {
  return appendFiles ? appendFiles() : std::make_unique<AppendFile>();
}

const Environment& systemEnvironment() {
  static const Environment system;
  return system;
}

}  // namespace tallymark::platform

#include <windows.h>

#include "file_holder.h"
#include "platform/win32_text.h"

namespace bench {

FileHolder::FileHolder(std::string path) : path_(std::move(path)) {
  HANDLE file =
      CreateFileW(tallymark::platform::widen(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  held_ = file != INVALID_HANDLE_VALUE;
  if (held_) handle_ = static_cast<long long>(reinterpret_cast<intptr_t>(file));
}

FileHolder::~FileHolder() {
  if (held_) CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle_)));
}

}  // namespace bench

// The owner of a POSIX file descriptor, for the _posix files of this folder and the
// native tests. Negative descriptors are "nothing held", as open() reports failure.
#pragma once

#include <unistd.h>

#include "platform/unique_any.h"

namespace tallymark::platform {

struct FdTraits {
  using Type = int;
  static constexpr int invalid() noexcept { return -1; }
  static constexpr bool isValid(int fd) noexcept { return fd >= 0; }
  // An error from close() is of no use here: the descriptor is gone either way (retrying
  // after EINTR could close a descriptor another thread has just been given). Code that
  // must report a failed close, which can mean data that never reached the disk, takes
  // the descriptor with release() and closes it itself.
  static void close(int fd) noexcept { ::close(fd); }
};
using UniqueFd = UniqueAny<FdTraits>;

}  // namespace tallymark::platform

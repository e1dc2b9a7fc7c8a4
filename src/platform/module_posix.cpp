#include "platform/module.h"

namespace tallymark::platform {

// The native builds link the plug-in's code into the program: nothing unloads it.
bool pinModule() {
  return true;
}

}  // namespace tallymark::platform

#include "plugin/menu.h"

namespace tallymark::plugin {

// No host frame or menu exists without a window system.
void* findHostFrame() {
  return nullptr;
}

void appendPluginMenuItem() {}

}  // namespace tallymark::plugin

#include "plugin/menu.h"

// No host frame or menu exists without a window system.
void* findHostFrame() { return nullptr; }

void appendPluginMenuItem() {}

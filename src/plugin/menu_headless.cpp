#include "plugin/menu.h"

// No host menu exists without a window system.
void appendPluginMenuItem() {}

#include "automation/load_file_obj.h"

// Without a COM runtime there is no host automation object to attach to: both
// interfaces stay null.
void LoadFileObj::Start() {}

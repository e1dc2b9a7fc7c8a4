// The plug-in's message boxes answered Ok and recorded, for the life of the object.
#pragma once

#include "plugin/state.h"
#include "settings/test_files.h"

class PluginBoxes : public MessageCatcher {
 public:
  PluginBoxes() { tallymark::plugin::state().environment.messages = environment.messages; }
  ~PluginBoxes() { tallymark::plugin::state().environment.messages = nullptr; }
};

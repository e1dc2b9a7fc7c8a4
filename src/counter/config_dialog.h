// The notice shown when the host asks to configure the plug-in: the plug-in has no
// configuration screen, its window is reached through the host's menu.
#pragma once

class ConfigDialog {
 public:
  static constexpr char kCaption[] = "ConfigDialog";
  static constexpr char kText[] =
      "Configuration Screens Are Now Accessed\r\nThrough The 'PlugIn Control' Menu";

  // Shows the notice modally and returns when the operator has closed it. It belongs to
  // `hostFrame` (a native window, or null for the calling thread's active window); that
  // window and the active one (the counter window, say) are disabled while it is open.
  // Each call shows a new notice. Host UI thread only.
  void showDialog(void* hostFrame);

  // How many notices have been shown in this process (for tests).
  static int timesShown();
};

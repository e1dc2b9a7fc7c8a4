// The host's main frame, and the plug-in's item in its "PlugIn Control" menu.
#pragma once

namespace tallymark::plugin {

// The host's main frame window (an HWND on Windows), or null. It is found among the
// top-level windows of the calling thread (the host's user-interface thread) that have
// a menu bar: the first whose first top-level item named exactly "PlugIn Control" has a
// popup, else the first of them (another plug-in's window or a host dialog may have a
// menu bar too). The host's view object is never read: its layout is unknown.
void* findHostFrame();

// Appends "Tally_Mark" with the identifier menuStart to the popup of the host frame's
// first top-level item named exactly "PlugIn Control", unless the popup holds that item
// already (a second PostInitControl). Silent when there is no such item or no frame.
void appendPluginMenuItem();

}  // namespace tallymark::plugin

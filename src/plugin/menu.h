// The plug-in's item in the host's "PlugIn Control" menu.
#pragma once

// Appends "Tally_Mark" with the identifier menuStart to the popup of the host main
// frame's first top-level item named exactly "PlugIn Control". Silent when there is
// no such item or no host frame.
void appendPluginMenuItem();

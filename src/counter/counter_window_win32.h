// Control identifiers of the counter window's Win32 view, for code that finds the real
// controls (GetDlgItem on their parents): the header band and the counter area are
// children of the window, the tab control of the counter area, the page of the tab.
#pragma once

namespace tallymark::counter::win32ids {
inline constexpr int kHeaderPanel = 1;
inline constexpr int kBodyPanel = 2;
inline constexpr int kTabControl = 3;
inline constexpr int kPage = 4;
inline constexpr int kPicture = 10;  // in the header band
inline constexpr int kLabel7 = 27;   // in the header band
inline constexpr int kLabel8 = 28;   // in the header band
inline constexpr int kLabel4 = 24;   // the rest on the page
inline constexpr int kLabel5 = 25;
inline constexpr int kLabel6 = 26;
inline constexpr int kLastTimeReset = 31;
inline constexpr int kTotalCount = 32;
inline constexpr int kCountVal = 33;
inline constexpr int kLastRun = 34;
inline constexpr int kStatus = 35;    // hidden while it has no text
inline constexpr int kRequired = 40;  // the batch target, shown only while it is on
inline constexpr int kBatchComplete = 41;
inline constexpr int kResetButton = 100;
inline constexpr unsigned kTimer2 = 2;
inline constexpr int kSplitterWidth = 4;
}  // namespace tallymark::counter::win32ids

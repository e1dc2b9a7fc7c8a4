#include "plugin/settings_globals.h"

std::atomic<int32_t> CamType{0};
tallymark::platform::SharedText IPCamPath;
bool AutoStart = false;
bool AutoScan = false;
double AngleTol = 0.0;
double LenTol = 0.0;
double Pixelpermm = 0.0;
bool ExtScanSelect[4] = {false, false, false, false};
double ExtScanLen = 0.0;
tcp_data CamPosData[tallymark::settings::kCamPositions];

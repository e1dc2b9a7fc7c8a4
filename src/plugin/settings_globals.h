// The plug-in's settings as the rest of the plug-in reads them: written by SetProName
// (piSetProName) from the profile section "Dazada_Ruvazidu", held for the life of the
// process.
//
// Writers: only piSetProName, on the host's user-interface thread, through the four
// setters of MyDeviceClass. Readers: CamType and IPCamPath are read by the command
// server's connection threads and are safe to read from any thread at any time; every
// other global is read on the host's thread only.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/shared_text.h"
#include "settings/settings.h"

// 0 a USB camera, 1 an IP camera (at IPCamPath), 2 a Dahua camera.
extern std::atomic<int32_t> CamType;
// Path of the IP camera, in the ANSI code page on Windows (bytes on Linux). Read it
// with IPCamPath.get().
extern tallymark::platform::SharedText IPCamPath;
extern bool AutoStart;
extern bool AutoScan;
extern double AngleTol;
extern double LenTol;
extern double Pixelpermm;
// Extra scan directions, in the order up, right, down, left.
extern bool ExtScanSelect[4];
extern double ExtScanLen;
extern tcp_data CamPosData[tallymark::settings::kCamPositions];

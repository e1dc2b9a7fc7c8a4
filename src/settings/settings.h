// The plug-in's settings: read from the profile section "Dazada_Ruvazidu" by
// SetProName (piSetProName), held for the life of the process.
//
// Writers: only piSetProName, on the host's user-interface thread, through the four
// setters of MyDeviceClass. Readers: CamType and IPCamPath are read by the command
// server's connection threads and are safe to read from any thread at any time; every
// other global is read on the host's thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// The settings record of one SetProName, kept in MG::xyzDemoConfig.
struct XYZDemoConfig {
  bool enableDlg = false;
  bool enableX = false;
  bool enableY = false;
  bool enableZ = false;
  std::string IPCamPath;  // UTF-8, as read from the profile
  bool IPCam = false;     // never loaded
  bool UsbCam = false;    // never loaded
  bool AutoStart = false;
  bool AutoScan = false;
  int32_t CamType = 0;
  // The run log: "RunLog" (a number, 0 switches it off) and "RunLogPath" (UTF-8, empty
  // for the file beside the profile).
  bool runLog = true;
  std::string runLogPath;
  // The MTConnect adapter: "MTConnectPort" (0 or missing: off) and "MTConnectAddress"
  // (a dotted IPv4 address; empty: all addresses).
  int32_t mtconnectPort = 0;
  std::string mtconnectAddress;
};

// One camera position; nothing in the plug-in reads it back.
struct tcp_data {
  double X = 0.0;
  double Y = 0.0;
  double Z = 0.0;
};

// A text global that one thread replaces while others read it. get() returns a copy,
// so a reader never sees a text half-replaced or freed under it.
class SharedText {
 public:
  std::string get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  void set(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.swap(text);
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// 0 a USB camera, 1 an IP camera (at IPCamPath), 2 a Dahua camera.
extern std::atomic<int32_t> CamType;
// Path of the IP camera, in the ANSI code page on Windows (bytes on Linux). Read it
// with IPCamPath.get().
extern SharedText IPCamPath;
extern bool AutoStart;
extern bool AutoScan;
extern double AngleTol;
extern double LenTol;
extern double Pixelpermm;
// Extra scan directions, in the order up, right, down, left.
extern bool ExtScanSelect[4];
extern double ExtScanLen;
inline constexpr int kCamPositions = 5;
extern tcp_data CamPosData[kCamPositions];

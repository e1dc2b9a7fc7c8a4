// The plug-in's single device object, created by InitControl and kept until the process
// ends. It owns the automation holder and, in builds with the console, the console.
#pragma once

#include <cstdint>
#include <string>

class MyConsoleClass;
class LoadFileObj;

class MyDeviceClass {
 public:
  MyDeviceClass();
  virtual ~MyDeviceClass();
  MyDeviceClass(const MyDeviceClass&) = delete;
  MyDeviceClass& operator=(const MyDeviceClass&) = delete;

  // Console start-up step (nothing unless the console is compiled in).
  void InitControl();
  // Per-tick work after the counter rule: the diagnostic dump on every 10th call.
  void Update();
  // Writes the host's axis table to the console; returns at once without one.
  void DumpConfig();

  // Setters of the settings globals (plugin/settings_globals.h). They need no device object
  // and may run before InitControl. `pos` below 5; others are ignored.
  static void LoadCamPos(uint8_t pos, double loadX, double loadY, double loadZ);
  static void LoadTolerance(double Angle, double Len, double px_mm);
  static void SaveExtScanSelect(bool ext_up, bool ext_dwn, bool ext_left, bool ext_right,
                                double ext_Len);
  // `_IPCamPath` is UTF-8; the global keeps it in the ANSI code page.
  static void SaveAutoStart(bool _AutoStart, int32_t CamType, const std::string& _IPCamPath,
                            bool _AutoScan);

  MyConsoleClass* console = nullptr;
  LoadFileObj* loadFileObj = nullptr;

 private:
  int divider_ = 0;
};

namespace tallymark::plugin {
// The dump's rhythm: true on the 1st, 11th, 21st ... call, counting in `divider` (from 0).
bool dumpDue(int& divider);
}  // namespace tallymark::plugin

// Null until InitControl.
extern MyDeviceClass* MyDevice;

// The plug-in's single device object, created by InitControl and kept until the process
// ends. It owns the automation holder and, in builds with the console, the console.
#pragma once

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

  MyConsoleClass* console = nullptr;
  LoadFileObj* loadFileObj = nullptr;

 private:
  int divider_ = 0;
};

// Null until InitControl.
extern MyDeviceClass* MyDevice;

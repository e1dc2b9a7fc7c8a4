#include "plugin/device.h"

#include "automation/load_file_obj.h"

MyDeviceClass* MyDevice = nullptr;

MyDeviceClass::MyDeviceClass() : loadFileObj(new LoadFileObj()) {}

// Never runs in the plug-in (the device lives until the process ends); kept correct
// for tests that make their own instances.
MyDeviceClass::~MyDeviceClass() { delete loadFileObj; }

void MyDeviceClass::InitControl() {}

void MyDeviceClass::Update() {
  int remainder = divider_ % 10;
  // Wraps back to 0 instead of overflowing after years of ticks; the dump keeps its
  // every-10th rhythm because the wrap point is a multiple of 10.
  divider_ = divider_ >= 2147483640 ? 0 : divider_ + 1;
  if (remainder == 0) DumpConfig();
}

void MyDeviceClass::DumpConfig() {
  if (console == nullptr) return;
}

#include "plugin/device.h"

#include <new>

#include "automation/load_file_obj.h"
#include "diag/console.h"
#include "diag/console_switch.h"
#include "diag/dump_lines.h"
#include "platform/ansi_text.h"
#include "plugin/host.h"
#include "plugin/settings_globals.h"
#include "tallymark_version.h"

namespace diag = tallymark::diag;

MyDeviceClass* MyDevice = nullptr;

namespace {

constexpr char kAxisLetters[] = "XYZABC";
constexpr int kDumpedAxes = 4;  // X, Y, Z, A; B and C are never shown
// The banner's text stands first and unchanged; the build's version follows it.
constexpr char kHeaderLine[] =
    "QXR_LUMEN plugin activated - tallymark " TALLYMARK_VERSION " (" TALLYMARK_COMMIT ")";

}  // namespace

MyDeviceClass::MyDeviceClass() : loadFileObj(new LoadFileObj()) {}

// Never runs in the plug-in (the device lives until the process ends); kept correct
// for tests that make their own instances. The console itself is never closed.
MyDeviceClass::~MyDeviceClass() {
  delete loadFileObj;
  delete console;
}

void MyDeviceClass::LoadCamPos(uint8_t pos, double loadX, double loadY, double loadZ) {
  if (pos >= tallymark::settings::kCamPositions) return;
  CamPosData[pos].X = loadX;
  CamPosData[pos].Y = loadY;
  CamPosData[pos].Z = loadZ;
}

void MyDeviceClass::LoadTolerance(double Angle, double Len, double px_mm) {
  AngleTol = Angle;
  LenTol = Len;
  Pixelpermm = px_mm;
}

void MyDeviceClass::SaveExtScanSelect(bool ext_up, bool ext_dwn, bool ext_left, bool ext_right,
                                      double ext_Len) {
  ExtScanSelect[0] = ext_up;
  ExtScanSelect[1] = ext_right;
  ExtScanSelect[2] = ext_dwn;
  ExtScanSelect[3] = ext_left;
  ExtScanLen = ext_Len;
}

void MyDeviceClass::SaveAutoStart(bool _AutoStart, int32_t CamType, const std::string& _IPCamPath,
                                  bool _AutoScan) {
  AutoStart = _AutoStart;
  ::CamType.store(CamType);
  IPCamPath.set(tallymark::platform::toAnsiCodePage(_IPCamPath));
  AutoScan = _AutoScan;
}

void MyDeviceClass::InitControl() {
  if (!diag::kConsoleEnabled || console != nullptr) return;
  // Without memory for it the plug-in simply runs without a console.
  console = new (std::nothrow) MyConsoleClass();
  if (console == nullptr) return;
  console->ConsolePrint(0, 0, kHeaderLine);
}

bool tallymark::plugin::dumpDue(int& divider) {
  int remainder = divider % 10;
  // Wraps back to 0 instead of overflowing after years of ticks. 0 follows 2147483639,
  // whose remainder is 9, so that the every-10th rhythm runs on across the wrap.
  divider = divider >= 2147483639 ? 0 : divider + 1;
  return remainder == 0;
}

void MyDeviceClass::Update() {
  if (tallymark::plugin::dumpDue(divider_)) DumpConfig();
}

// Reads the host's objects as they stand at this moment. A host object that was not
// handed over leaves its lines unwritten instead of being dereferenced.
void MyDeviceClass::DumpConfig() {
  if (console == nullptr) return;
  char line[diag::kConsoleLineSize];
  if (Engine != nullptr && MainPlanner != nullptr) {
    for (int i = 0; i < kDumpedAxes; ++i) {
      const PlannerAxis& planned = MainPlanner->Axis[i];
      const EngineAxis& engine = Engine->Axis[i];
      diag::formatAxisLine(
          line, diag::AxisDumpValues{kAxisLetters[i], planned.Vel, planned.Acc, planned.Steps,
                                     planned.Epr, engine.Dir, engine.Slave, engine.SlaveA,
                                     engine.SlimHi, engine.SlimLo});
      console->ConsolePrint(0, 2 + i, line);
    }
  }
  if (MainPlanner != nullptr) {
    diag::formatFileLine(line, MainPlanner->DigifileOpen, MainPlanner->loaded);
    console->ConsolePrint(0, 7, line);
  }
}

// Loads TALLY_MARK.dll as the host does: LoadLibrary, every export by its exact name,
// callbacks handed over through the DLL's own setters, then the host's start-up order
// and a few update ticks.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "fake_host.h"
#include "platform/local_time_win32.h"
#include "platform/unique_handle_win32.h"

namespace {

const char* const kPluginExports[] = {
    "SetProName", "InitControl", "PostInitControl", "Config",    "StopPlug",  "Update",
    "Notify",     "DoDwell",     "Reset",           "JogOn",     "JogOff",    "Purge",
    "Probe",      "Home",        "SetGetDRO",       "SetSetDRO", "SetGetLED", "SetSetLED",
    "SetCode",    "SetDoButton", "SetGetMenuRange"};

class Dll {
 public:
  Dll() : module_(LoadLibraryW(L"TALLY_MARK.dll")) {}
  ~Dll() {
    // The plug-in keeps windows and threads alive until the process ends, as in the host;
    // it is never unloaded here either.
  }
  HMODULE module() const { return module_; }
  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

const Dll& dll() {
  static Dll instance;
  return instance;
}

// The copy run as xp_dll_load_tests.exe is told by Wine that it runs on Windows XP, so that
// the DLL takes XP's paths; the program under its own name is told Windows 10. A run that
// did not get the Windows it asked for would prove nothing about that Windows. (This
// program has the plug-in's code linked in too: the same choice of locale calls as the
// DLL's, made on the same system.)
TEST(DllLoad, RunsOnTheWindowsTheTestRunAsksFor) {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExW(&version));
  if (std::getenv("TALLYMARK_EXPECT_WINDOWS_XP") != nullptr) {
    EXPECT_EQ(version.dwMajorVersion, 5u);  // 5.1, or 5.2 for the 64-bit XP
    EXPECT_GE(version.dwMinorVersion, 1u);
    EXPECT_FALSE(tallymark::platform::namedLocaleCallsInUse()) << "XP's LCID calls";
  } else {
    EXPECT_GE(version.dwMajorVersion, 6u);
    EXPECT_TRUE(tallymark::platform::namedLocaleCallsInUse());
  }
}

TEST(DllLoad, EveryPluginExportResolvesByItsPlainName) {
  ASSERT_NE(dll().module(), nullptr) << "LoadLibrary failed: " << GetLastError();
  for (const char* name : kPluginExports) {
    EXPECT_NE(GetProcAddress(dll().module(), name), nullptr) << name;
  }
  // Plain names only: no decorated or underscored variants of the C exports.
  EXPECT_EQ(GetProcAddress(dll().module(), "_Update"), nullptr);
}

TEST(DllLoad, HostStartUpOrderAndUpdateTicksCountIntoTheDros) {
  ASSERT_NE(dll().module(), nullptr);
  FakeHost host(FakeHost::Setters{
      dll().get<void(TM_CDECL*)(GetDROFn)>("SetGetDRO"),
      dll().get<void(TM_CDECL*)(SetDROFn)>("SetSetDRO"),
      dll().get<void(TM_CDECL*)(GetLEDFn)>("SetGetLED"),
      dll().get<void(TM_CDECL*)(SetLEDFn)>("SetSetLED"),
      dll().get<void(TM_CDECL*)(CodeFn)>("SetCode"),
      dll().get<void(TM_CDECL*)(DoButtonFn)>("SetDoButton"),
      dll().get<void(TM_CDECL*)(GetMenuRangeFn)>("SetGetMenuRange"),
  });
  auto setProName = dll().get<const char*(TM_CDECL*)(const char*)>("SetProName");
  auto initControl = dll().get<bool(TM_CDECL*)(void*, void*, void*, void*)>("InitControl");
  auto postInit = dll().get<void(TM_CDECL*)()>("PostInitControl");
  auto update = dll().get<void(TM_CDECL*)()>("Update");
  auto doDwell = dll().get<void(TM_CDECL*)(double)>("DoDwell");
  auto jogOn = dll().get<void(TM_CDECL*)(short, short, double)>("JogOn");

  char profile[MAX_PATH];
  GetTempPathA(MAX_PATH, profile);
  std::string profilePath = std::string(profile) + "tallymark_dll_load_test.xml";
  // A readable profile: a missing one would stop SetProName at a message box.
  {
    const tallymark::platform::UniqueHandle file(CreateFileA(profilePath.c_str(), GENERIC_WRITE, 0,
                                                             nullptr, CREATE_ALWAYS,
                                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.get(), "<profile/>", 10, &written, nullptr);
  }
  EXPECT_STREQ(setProName(profilePath.c_str()), "Tallymark_v1.0");

  TrajBuffer engine{};
  _TrajectoryControl planner{};
  EXPECT_TRUE(initControl(&engine, nullptr, &planner, nullptr));
  postInit();

  host.setDro(1500, 41);
  host.setDro(1501, 1000);
  host.setDro(1502, 45000.5);
  host.setDro(22, 1);
  host.setLed(804, true);
  update();
  host.setLed(804, false);
  update();
  EXPECT_EQ(host.dro(1500), 42);
  EXPECT_EQ(host.dro(1501), 1001);
  EXPECT_EQ(host.dro(1502), 45000.5);

  // The no-effect exports called with the C convention leave the stack intact (a
  // mismatch would crash here) and make no host call.
  host.clearLog();
  doDwell(2.0);
  jogOn(1, -1, 50.0);
  EXPECT_TRUE(host.log.empty());
  DeleteFileA(profilePath.c_str());
}

}  // namespace

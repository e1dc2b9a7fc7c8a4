// A host that unloads the plug-in after StopPlug and goes on running: load, start
// everything (the counter window and its timers, the run log, an MTConnect agent, the
// command server with clients writing to it, a link enable under way), count a run,
// StopPlug, FreeLibrary, and then pump the host's messages for a while with the clients
// still writing and the run log held open by another program, as a spreadsheet holds
// it. Then the plug-in is loaded again and counts again; twenty times in one process.
//
// The program also serves as that other program: "--hold <file> <pid>" opens the file
// for reading, sharing it only with readers, until process <pid> ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "platform/socket.h"

namespace {

namespace platform = tallymark::platform;

constexpr int kCycles = 20;
constexpr DWORD kAliveMs = 5000;  // each cycle's life after FreeLibrary
constexpr uint16_t kCommandPort = 7000;
constexpr uint16_t kAgentPort = 7878;
constexpr int kClients = 4;

std::string tempFolder() {
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::string folder = std::string(path) + "tallymark_unload_test";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void writeText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// True while another handle keeps the file from being opened for appending.
bool heldByAnother(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(file);
  return false;
}

// Pumps this thread's messages (the counter window's among them) for `ms`.
void pumpMessages(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

// Threads of the host's process that talk to the plug-in over the network the whole
// time, reconnecting whenever their connection ends: clients sending command lines to
// the command server, and an agent reading the MTConnect adapter.
class NetworkPeers {
 public:
  NetworkPeers() {
    for (int i = 0; i < kClients; ++i) threads_.emplace_back([this] { client(); });
    threads_.emplace_back([this] { agent(); });
  }
  ~NetworkPeers() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }
  int linesSent() const { return lines_; }

 private:
  void client() {
    static const char kLine[] = "G0 X1.5 Y2\r\n";
    while (!stop_) {
      platform::Socket socket = platform::connectTcp({platform::loopbackAddress(), kCommandPort});
      if (!socket) {
        Sleep(50);
        continue;
      }
      char chunk[512];
      while (!stop_ && platform::sendAll(socket.get(), kLine, sizeof kLine - 1)) {
        ++lines_;
        if (platform::waitReadable(socket.get(), 50) == platform::WaitResult::Ready &&
            platform::receiveSome(socket.get(), chunk, sizeof chunk) <= 0)
          break;
      }
    }
  }
  void agent() {
    while (!stop_) {
      platform::Socket socket = platform::connectTcp({platform::loopbackAddress(), kAgentPort});
      if (!socket) {
        Sleep(50);
        continue;
      }
      char chunk[512];
      while (!stop_) {
        platform::WaitResult wait = platform::waitReadable(socket.get(), 50);
        if (wait == platform::WaitResult::Failed) break;
        if (wait == platform::WaitResult::Ready &&
            platform::receiveSome(socket.get(), chunk, sizeof chunk) <= 0)
          break;
      }
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> lines_{0};
  std::vector<std::thread> threads_;
};

// The other program holding the run log, started from this one.
class LogHolder {
 public:
  explicit LogHolder(const std::string& log) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"" + std::string(self) + "\" --hold \"" + log + "\" " +
                          std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != FALSE;
  }
  ~LogHolder() {
    if (!started_) return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 10000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  bool started() const { return started_; }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

int holdFile(const char* path, DWORD parent) {
  // The unloaded plug-in's writer may still have the log open for a moment (StopPlug
  // gives it up to 0.9 s and lets it finish on its own), and a file open for writing
  // cannot be opened sharing reading only: try until it can, as a spreadsheet opened
  // again would.
  HANDLE file = INVALID_HANDLE_VALUE;
  const DWORD start = GetTickCount();
  while ((file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE &&
         GetLastError() == ERROR_SHARING_VIOLATION && GetTickCount() - start < 120000) {
    Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, parent);
  if (process != nullptr) WaitForSingleObject(process, INFINITE);
  CloseHandle(file);
  return 0;
}

template <typename F>
F exported(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// One load of the DLL: every export the cycle calls, looked up anew.
struct Plugin {
  explicit Plugin(HMODULE loaded) : module(loaded) {}
  HMODULE module;
  FakeHost::Setters setters{
      exported<void(TM_CDECL*)(GetDROFn)>(module, "SetGetDRO"),
      exported<void(TM_CDECL*)(SetDROFn)>(module, "SetSetDRO"),
      exported<void(TM_CDECL*)(GetLEDFn)>(module, "SetGetLED"),
      exported<void(TM_CDECL*)(SetLEDFn)>(module, "SetSetLED"),
      exported<void(TM_CDECL*)(CodeFn)>(module, "SetCode"),
      exported<void(TM_CDECL*)(DoButtonFn)>(module, "SetDoButton"),
      exported<void(TM_CDECL*)(GetMenuRangeFn)>(module, "SetGetMenuRange"),
  };
  const char*(TM_CDECL* setProName)(const char*) = exported<decltype(setProName)>(module,
                                                                                  "SetProName");
  bool(TM_CDECL* initControl)(void*, void*, void*,
                              void*) = exported<decltype(initControl)>(module, "InitControl");
  void(TM_CDECL* postInit)() = exported<decltype(postInit)>(module, "PostInitControl");
  void(TM_CDECL* update)() = exported<decltype(update)>(module, "Update");
  void(TM_CDECL* notify)(int) = exported<decltype(notify)>(module, "Notify");
  void(TM_CDECL* stopPlug)() = exported<decltype(stopPlug)>(module, "StopPlug");
  int32_t(TM_STDCALL* initController)() =
      exported<decltype(initController)>(module, "_Cnc_Init_Controller@0");
  int32_t(TM_STDCALL* enable)(const char*) =
      exported<decltype(enable)>(module, "_Cnc_Communication_Enable@4");

  bool complete() const {
    return setters.setGetDRO && setters.setSetDRO && setters.setGetLED && setters.setSetLED &&
           setters.setCode && setters.setDoButton && setters.setGetMenuRange && setProName &&
           initControl && postInit && update && notify && stopPlug && initController && enable;
  }
};

TEST(Unload, FreeLibraryAfterStopPlugWithEverythingRunningTwentyTimesInOneProcess) {
  platform::SocketLibrary sockets;  // held past the peers' sockets, declared below
  ASSERT_TRUE(sockets.start());
  const std::string folder = tempFolder();
  const std::string profile = folder + "\\Mill.xml";
  const std::string log = folder + "\\runs.csv";
  writeText(profile,
            "<?xml version=\"1.0\"?>\n<profile>\n<Dazada_Ruvazidu><RunLog>1</RunLog>"
            "<RunLogPath>" +
                log + "</RunLogPath><MTConnectPort>" + std::to_string(kAgentPort) +
                "</MTConnectPort><MTConnectAddress>127.0.0.1</MTConnectAddress>"
                "</Dazada_Ruvazidu>\n</profile>\n");
  DeleteFileA(log.c_str());

  NetworkPeers peers;
  std::unique_ptr<LogHolder> holder;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    HMODULE module = LoadLibraryW(L"TALLY_MARK.dll");
    ASSERT_NE(module, nullptr) << "LoadLibrary failed: " << GetLastError();
    Plugin plugin(module);
    ASSERT_TRUE(plugin.complete());
    {
      // The host's callbacks stay valid for the whole cycle, as a host's do.
      FakeHost host(plugin.setters);
      host.menuRangeNext = 500;
      host.setDro(1500, cycle);
      host.setDro(1501, 1000 + cycle);
      EXPECT_STREQ(plugin.setProName(profile.c_str()), "Tallymark_v1.0");
      TrajBuffer engine{};
      _TrajectoryControl planner{};
      EXPECT_TRUE(plugin.initControl(&engine, nullptr, &planner, nullptr));
      plugin.postInit();
      plugin.notify(500);  // the counter window shown, its timers running
      EXPECT_EQ(plugin.initController(), 0);

      // A counted run, written to the log (held from the second cycle on: the plug-in
      // then keeps its record and retries).
      host.setDro(22, 0);
      host.setLed(804, true);
      plugin.update();
      host.setDro(22, 1);
      plugin.update();
      host.setLed(804, false);
      plugin.update();
      EXPECT_EQ(host.dro(1500), cycle + 1);
      EXPECT_EQ(host.dro(1501), 1000 + cycle + 1);
      pumpMessages(200);

      // A link enable under way (it lasts at least 250 ms) when the host stops and
      // unloads the plug-in.
      std::thread enabling([&] { plugin.enable("127.0.0.1"); });
      Sleep(20);
      plugin.stopPlug();
      EXPECT_TRUE(FreeLibrary(module));
      enabling.join();

      if (cycle == 0) {
        holder = std::make_unique<LogHolder>(log);
        ASSERT_TRUE(holder->started());
        const DWORD start = GetTickCount();
        while (!heldByAnother(log) && GetTickCount() - start < 180000) Sleep(20);
        ASSERT_TRUE(heldByAnother(log));
      }
      // The host goes on: its messages pumped, the clients writing, the log held.
      const int linesBefore = peers.linesSent();
      pumpMessages(kAliveMs);
      EXPECT_GT(peers.linesSent(), linesBefore) << "the clients were writing meanwhile";
    }
  }
  holder.reset();
  DeleteFileA(log.c_str());
  DeleteFileA(profile.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--hold")
    return holdFile(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

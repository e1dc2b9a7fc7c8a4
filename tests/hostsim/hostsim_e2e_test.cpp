// End to end: the real TALLY_MARK.dll driven by the real hostsim.exe, as the host would
// drive it, with the figures read back from the DROs, the counter window's labels, the
// state file and the profile.

// The Windows headers in the order they need (winsock2.h before windows.h).
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>
#include <oleauto.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/unique_handle_win32.h"

namespace {

std::string exeFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of("\\/") + 1);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::wstring fromAnsi(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  out.resize(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                              out.data(), static_cast<int>(out.size()))));
  return out;
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

const char kProfile[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<profile>\n"
    "  <Preferences>\n    <Units>1</Units>\n  </Preferences>\n"
    "  <Dazada_Ruvazidu>\n    <CamType>1</CamType>\n    <IPCamPath>rtsp://cam/1</IPCamPath>\n"
    "  </Dazada_Ruvazidu>\n"
    "  <PlugIns>\n    <JoystickPlugin>0</JoystickPlugin>\n  </PlugIns>\n"
    "</profile>\n";

struct Outcome {
  DWORD exitCode = 0;
  std::string output;
};

// A folder of its own per test, with the example profile in it.
class HostSim : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "tallymark_e2e_" + std::to_string(GetCurrentProcessId()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    CreateDirectoryA(folder_.c_str(), nullptr);
    writeFile(profile(), kProfile);
    DeleteFileA(state().c_str());
  }
  void TearDown() override {
    for (const char* name :
         {"Mach3Mill.xml", "Mach3Mill.runs.csv", "hostsim-state.txt", "step.script", "out.txt"})
      DeleteFileA((folder_ + name).c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  std::string profile() const { return folder_ + "Mach3Mill.xml"; }
  std::string state() const { return folder_ + "hostsim-state.txt"; }

  // Starts hostsim.exe on `script`; its output goes to out.txt.
  PROCESS_INFORMATION start(const std::string& script, const std::string& extra = "") {
    writeFile(folder_ + "step.script", script);
    std::string command = "\"" + exeFolder() + "hostsim.exe\" --profile \"" + profile() +
                          "\" --script \"" + folder_ + "step.script\" --timeout 200 " + extra;
    return launch(fromAnsi(command));
  }

  // Runs `command` in the test's folder with its output going to out.txt. On a loaded
  // machine Wine now and then refuses a start outright (error 1359, an internal error):
  // nothing ran then, so the start is tried again a few times, and the output says so.
  PROCESS_INFORMATION launch(std::wstring command) {
    constexpr int kStarts = 4;
    PROCESS_INFORMATION pi{};
    DWORD error = 0;
    for (int attempt = 1; attempt <= kStarts; ++attempt) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      // The child has its own copy; ours is closed at the end of each try.
      const tallymark::platform::UniqueHandle out(
          CreateFileA((folder_ + "out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      STARTUPINFOW si{};
      si.cb = sizeof si;
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdOutput = out.get();
      si.hStdError = out.get();
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      BOOL ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               fromAnsi(folder_).c_str(), &si, &pi);
      error = ok ? 0 : GetLastError();
      if (ok) return pi;
      std::printf("[ RETRY    ] hostsim.exe did not start (error %lu), start %d of %d\n",
                  static_cast<unsigned long>(error), attempt, kStarts);
      std::fflush(stdout);
      if (attempt < kStarts) Sleep(500 * attempt);
    }
    ADD_FAILURE() << command << ": did not start in " << kStarts << " tries, last error " << error;
    return pi;
  }

  Outcome finish(PROCESS_INFORMATION pi) {
    Outcome run;
    if (WaitForSingleObject(pi.hProcess, 240000) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
    }
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    run.output = readFile(folder_ + "out.txt");
    // The console writes CR LF; compare lines as lines.
    run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
    return run;
  }

  Outcome hostsim(const std::string& script, const std::string& extra = "") {
    return finish(start(script, extra));
  }

  std::string folder_;
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs of 0.4 s with pauses of 0.4 s: four update ticks each, enough to be seen.
TEST_F(HostSim, QualifiedRunsAreCountedAndTheDrosSurviveARestart) {
  writeFile(state(), "dro 1500 2\ndro 1501 100\ndro 1502 45000.5\n");
  Outcome first = hostsim(
      "runs 5 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect dro 1500 7\n"
      "expect dro 1501 105\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 0\n"
      "wait 300\n"
      "expect dro 1500 7\n"
      "expect dro 1501 105\n"
      "quit\n");
  EXPECT_EQ(first.exitCode, 0u) << first.output;
  EXPECT_TRUE(contains(first.output, "count 7\ntotal 105\nlast reset 2023-03-15 12:00:00"))
      << first.output;
  EXPECT_TRUE(contains(first.output, "hostsim: plug-in tallymark " TALLYMARK_EXPECTED_VERSION
                                     " (commit " TALLYMARK_EXPECTED_COMMIT ")\n"))
      << "the version read from the DLL: " << first.output;
  const std::string saved = readFile(state());
  EXPECT_TRUE(contains(saved, "dro 1500 7\n")) << saved;
  EXPECT_TRUE(contains(saved, "dro 1501 105\n")) << saved;
  EXPECT_TRUE(contains(saved, "dro 1502 45000.5\n")) << saved;
  EXPECT_TRUE(contains(saved, "dro 22 0\n")) << saved;

  Outcome second = hostsim(
      "expect dro 1500 7\n"
      "expect dro 1501 105\n"
      "expect dro 1502 45000.5\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 2\n"
      "expect dro 1500 8\n"
      "expect dro 1501 106\n"
      "quit\n");
  EXPECT_EQ(second.exitCode, 0u) << second.output;
  EXPECT_TRUE(contains(readFile(state()), "dro 1501 106\n"));
}

TEST_F(HostSim, AFailedExpectationEndsWithStatusOneAndSaysWhy) {
  Outcome run = hostsim("dro 1500 4\nexpect dro 1500 99\nquit\n");
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  EXPECT_TRUE(contains(run.output, "FAILED at script line 2 (expect dro 1500 99)")) << run.output;
  EXPECT_TRUE(contains(run.output, "found 4")) << run.output;
  // The DRO set before the failure is still kept, and the plug-in was stopped.
  EXPECT_TRUE(contains(readFile(state()), "dro 1500 4\n"));

  Outcome bad = hostsim("runs 5 seconds 0.01\n");
  EXPECT_EQ(bad.exitCode, 2u) << bad.output;
  EXPECT_TRUE(contains(bad.output, "line 1")) << bad.output;
}

TEST_F(HostSim, AStepAboutAWindowThatIsNotThereFailsInsteadOfHanging) {
  Outcome run = hostsim("reset yes\nquit\n");
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  EXPECT_TRUE(contains(run.output, "COUNTER")) << run.output;
}

// The host's side alone, against a stand-in plug-in: the call order, COM ready before
// InitControl, every export on one thread, the running automation object, the menu
// item, a real RESET click answered in a real "Confirm?" box, labels read from the
// window, the Config notice closed, a picture, StopPlug before the state is saved.
// The plug-in takes the profile name in the ANSI code page. A path that code page cannot
// spell is refused at start instead of reaching the plug-in as the name of no file.
TEST_F(HostSim, AProfilePathTheAnsiCodePageCannotSpellIsRefused) {
  const wchar_t kAWithMacron[] = L"\u0101";
  BOOL lossy = FALSE;
  char ansi[8];
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, kAWithMacron, 1, ansi, sizeof ansi, nullptr,
                      &lossy);
  if (!lossy) GTEST_SKIP() << "the ANSI code page " << GetACP() << " has U+0101";

  PROCESS_INFORMATION pi =
      launch(L"\"" + fromAnsi(exeFolder()) + L"hostsim.exe\" --profile \"" + fromAnsi(folder_) +
             kAWithMacron + L"\\Mach3Mill.xml\" --timeout 60");
  ASSERT_NE(pi.hProcess, nullptr);
  Outcome run = finish(pi);
  EXPECT_EQ(run.exitCode, 2u) << run.output;
  EXPECT_TRUE(contains(run.output, "the ANSI code page cannot spell the profile path"))
      << run.output;
  EXPECT_FALSE(contains(run.output, "hostsim: loaded")) << run.output;
}

TEST_F(HostSim, DrivesAPluginAsTheHostDoes) {
  const std::string standIn = exeFolder() + "hostsim_stand_in.dll";
  Outcome run = hostsim(
      "expect dro 3000 1\n"
      "menu Tally_Mark\n"
      "runs 2 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect dro 1500 2\n"
      "expect label lblCountVal 2\n"
      "expect label lblTotalCount 2\n"
      "reset no\n"
      "wait 300\n"
      "expect dro 1500 2\n"
      "reset yes\n"
      "expect dro 1500 0\n"
      "expect dro 1501 2\n"
      "expect label lblCountVal 0\n"
      "expect label lblLastTimeReset != 00000\n"
      "expect automation\n"
      "config\n"
      "screenshot COUNTER " +
          folder_ +
          "counter.png\n"
          "quit\n",
      "--dll \"" + standIn + "\"");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(contains(run.output, "hostsim: the plug-in has no version resource\n")) << run.output;
  const std::string calls = readFile(profile() + ".calls");
  EXPECT_EQ(calls.rfind("SetGetDRO SetSetDRO SetGetLED SetSetLED SetCode SetDoButton "
                        "SetGetMenuRange SetProName InitControl com-ready PostInitControl ",
                        0),
            0u)
      << calls;
  for (const char* call : {" Update", " Notify", " Config"})
    EXPECT_TRUE(contains(calls, call)) << call << " in " << calls;
  EXPECT_FALSE(contains(calls, "another-thread")) << calls;
  EXPECT_EQ(calls.substr(calls.size() - 9), " StopPlug") << calls;
  const std::string saved = readFile(state());
  EXPECT_TRUE(contains(saved, "dro 3001 1\n"))
      << "StopPlug runs before the state is saved: " << saved;
  const std::string png = readFile(folder_ + "counter.png");
  EXPECT_EQ(png.substr(0, 4), "\x89PNG");
  EXPECT_GT(png.size(), 10000u);
  DeleteFileA((profile() + ".calls").c_str());
  DeleteFileA((folder_ + "counter.png").c_str());
}

// The batch target through the real DLL: the window's batch figures, the LED and the
// code line as the host receives them, the run log's row, and a picture of the window
// (kept beside the test programs as counter-required.png).
TEST_F(HostSim, ABatchOfThreeLightsTheLedSendsTheCodeOnceAndShowsInTheWindow) {
  std::string profileText = kProfile;
  profileText.replace(profileText.find("  </Dazada_Ruvazidu>"), 0,
                      "    <RequiredParts>3</RequiredParts>\n"
                      "    <RequiredPartsLED>1050</RequiredPartsLED>\n"
                      "    <RequiredPartsCode>M1050</RequiredPartsCode>\n");
  writeFile(profile(), profileText);
  writeFile(state(), "dro 1500 1\ndro 1501 10\n");
  const std::string picture = exeFolder() + "counter-required.png";
  DeleteFileA(picture.c_str());
  Outcome run = hostsim(
      "menu Tally_Mark\n"
      "expect led 1050 off\n"
      "expect label lblRequired Required: 3  Remaining: 2\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect label lblRequired Required: 3  Remaining: 1\n"
      "expect led 1050 off\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect dro 1500 3\n"
      "expect led 1050 on\n"
      "expect code M1050\n"
      "expect label lblRequired Required: 3  Remaining: 0\n"
      "expect label lblBatchComplete Batch complete\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect dro 1500 4\n"
      "wait 500\n"
      "screenshot COUNTER " +
      picture +
      "\n"
      "reset yes\n"
      "expect led 1050 off\n"
      "expect label lblRequired Required: 3  Remaining: 3\n"
      "quit\n");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  size_t codes = 0;
  for (size_t at = 0; (at = run.output.find("G-code \"M1050\"", at)) != std::string::npos; ++at)
    ++codes;
  EXPECT_EQ(codes, 1u) << run.output;
  const std::string log = readFile(folder_ + "Mach3Mill.runs.csv");
  EXPECT_TRUE(contains(log, ",3,12,,\r\nbatch complete,")) << log;
  const std::string png = readFile(picture);
  EXPECT_EQ(png.substr(0, 4), "\x89PNG");
  EXPECT_GT(png.size(), 10000u);
}

// The counter window, its menu item, its reset and the Config notice.
// Local time as an OLE date, the form DRO 1502 holds.
double localNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  double date = 0;
  SystemTimeToVariantTime(&now, &date);
  return date;
}

TEST_F(HostSim, CounterWindowOpensFromTheMenuShowsTheFiguresAndResetsWhenConfirmed) {
  writeFile(state(), "dro 1500 3\ndro 1501 10\n");
  const double before = localNow();
  Outcome run = hostsim(
      "menu Tally_Mark\n"
      "expect label lblCountVal 3\n"
      "expect label lblTotalCount 10\n"
      "runs 2 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect label lblCountVal 5\n"
      "expect label lblTotalCount 12\n"
      "reset no\n"
      "wait 300\n"
      "expect dro 1500 5\n"
      "expect label lblCountVal 5\n"
      "reset yes\n"
      "expect dro 1500 0\n"
      "expect dro 1501 12\n"
      "expect dro 1502 > 40000\n"
      "expect label lblCountVal 0\n"
      "expect label lblTotalCount 12\n"
      "expect label lblLastTimeReset != 00000\n"
      "config\n"
      "quit\n");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  // The reset time is the time of the confirmation, local time: within the host's run,
  // however long a loaded machine makes it (a second either side for the rounding).
  const double after = localNow();
  const std::string saved = readFile(state());
  const size_t at = saved.find("dro 1502 ");
  ASSERT_NE(at, std::string::npos) << saved;
  const double resetAt = std::strtod(saved.c_str() + at + 9, nullptr);
  EXPECT_GE(resetAt, before - 1.0 / 86400.0);
  EXPECT_LE(resetAt, after + 1.0 / 86400.0);
  EXPECT_TRUE(contains(run.output, "count 0\ntotal 12\n")) << run.output;
}

// The run log beside the profile, read back once the host has closed: every run, the
// one that was not counted too, and the reset, as whole CR LF lines.
TEST_F(HostSim, TheRunLogBesideTheProfileHoldsEveryRunAndTheReset) {
  writeFile(state(), "dro 1500 2\ndro 1501 100\n");
  Outcome run = hostsim(
      "menu Tally_Mark\n"
      "runs 2 seconds 0.4 pause 0.4 qualifier 1.5\n"
      "expect dro 1500 4\n"
      "expect label lblLastRun != Last run: -\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 0\n"
      "wait 300\n"
      "reset yes\n"
      "expect dro 1500 0\n"
      "quit\n");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  const std::string log = readFile(folder_ + "Mach3Mill.runs.csv");
  ASSERT_EQ(log.substr(0, 3), "\xEF\xBB\xBF") << log;
  std::vector<std::string> lines;
  for (size_t at = 3, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(log.substr(at, end - at));
  ASSERT_EQ(lines.size(), 5u) << log;
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  EXPECT_EQ(lines[0],
            "Event,Time,Run started,Run seconds,DRO 22,Count,Total,Count before reset,Note");

  // A time: 2026-12-08T14:03:07+07:00.
  auto isTime = [](const std::string& t) {
    return t.size() == 25 && t[4] == '-' && t[10] == 'T' && t[13] == ':' &&
           (t[19] == '+' || t[19] == '-') && t[22] == ':';
  };
  auto fields = [](const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    if (!line.empty() && line.back() == ',') out.push_back("");
    return out;
  };
  const char* expected[] = {"counted", "counted", "not counted"};
  const char* figures[] = {"3,101", "4,102", "4,102"};
  for (int i = 0; i < 3; ++i) {
    std::vector<std::string> f = fields(lines[1 + i]);
    ASSERT_EQ(f.size(), 9u) << lines[1 + i];
    EXPECT_EQ(f[0], expected[i]);
    EXPECT_TRUE(isTime(f[1]) && isTime(f[2])) << lines[1 + i];
    EXPECT_LE(f[2], f[1]) << "a run starts before it ends";
    const double seconds = std::strtod(f[3].c_str(), nullptr);
    // At least the 0.4 s the host held the run (less a tick either end); a loaded machine
    // may stretch it, so the upper bound only catches milliseconds written as seconds.
    EXPECT_GE(seconds, 0.2) << lines[1 + i];
    EXPECT_LT(seconds, 60.0) << lines[1 + i];
    EXPECT_EQ(f[4], i < 2 ? "1.5" : "");
    EXPECT_EQ(f[5] + "," + f[6], figures[i]);
  }
  std::vector<std::string> reset = fields(lines[4]);
  ASSERT_EQ(reset.size(), 9u) << lines[4];
  EXPECT_EQ(reset[0], "reset");
  EXPECT_TRUE(isTime(reset[1])) << lines[4];
  EXPECT_EQ(reset[5], "0");
  EXPECT_EQ(reset[7], "4") << "the count before the reset";
}

TEST_F(HostSim, SetProNameRegistersThePluginInTheProfile) {
  Outcome run = hostsim("wait 200\nquit\n");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  const std::string xml = readFile(profile());
  const size_t begin = xml.find("<PlugIns>"), end = xml.find("</PlugIns>");
  ASSERT_NE(begin, std::string::npos) << xml;
  ASSERT_NE(end, std::string::npos) << xml;
  const std::string plugins = xml.substr(begin, end - begin);
  EXPECT_TRUE(contains(plugins, "<Tallymark_v1.0>1</Tallymark_v1.0>")) << xml;
  EXPECT_TRUE(contains(plugins, "<JoystickPlugin>0</JoystickPlugin>")) << xml;
  EXPECT_TRUE(contains(xml, "<IPCamPath>rtsp://cam/1</IPCamPath>")) << xml;
}

TEST_F(HostSim, PluginAttachesToTheHostAutomationObject) {
  Outcome run = hostsim("expect automation\nquit\n");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(contains(run.output, "asked for GetScriptDispatch")) << run.output;
}

// hostsim as the outside program: the command server greets with the profile's camera
// (CamType 1: "[4*" and the path), and the controller link announces itself with five
// "keepalive" datagrams to UDP port 8000. Each part runs once the DLL has its call.
class HostSimAsOutsideProgram : public HostSim {
 protected:
  bool dllHas(const char* name) {
    HMODULE dll = LoadLibraryA((exeFolder() + "TALLY_MARK.dll").c_str());
    return dll != nullptr && GetProcAddress(dll, name) != nullptr;
  }
  void SetUp() override {
    HostSim::SetUp();
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    loopback_.sin_family = AF_INET;
    loopback_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  void TearDown() override {
    WSACleanup();
    HostSim::TearDown();
  }
  sockaddr_in loopback_{};
};

TEST_F(HostSimAsOutsideProgram, CommandServerGreetsWithTheProfilesCamera) {
  if (!dllHas("_Cnc_Init_Controller@0"))
    GTEST_SKIP() << "this TALLY_MARK.dll has no command server";
  PROCESS_INFORMATION pi = start("wait 4000\nquit\n", "--controller 127.0.0.1");
  sockaddr_in server = loopback_;
  server.sin_port = htons(7000);
  SOCKET tcp = INVALID_SOCKET;
  for (int attempt = 0; attempt < 60 && tcp == INVALID_SOCKET; ++attempt) {
    tcp = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(tcp, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
      closesocket(tcp);
      tcp = INVALID_SOCKET;
      Sleep(100);
    }
  }
  std::string greeting;
  const std::string wanted = "[4*rtsp://cam/1";
  if (tcp != INVALID_SOCKET) {
    DWORD wait = 3000;
    setsockopt(tcp, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
    char buffer[256];
    for (int n; greeting.size() < wanted.size() && (n = recv(tcp, buffer, sizeof buffer, 0)) > 0;)
      greeting.append(buffer, static_cast<size_t>(n));
    closesocket(tcp);
  }
  Outcome run = finish(pi);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  ASSERT_NE(tcp, INVALID_SOCKET) << "nothing listens on port 7000";
  EXPECT_FALSE(greeting.empty());
  // The camera comes from the profile's settings; a DLL without them greets as for
  // CamType 0 (and leaves the "PlugIns" section alone, which its own test checks).
  if (!contains(readFile(profile()), "<Tallymark_v1.0>"))
    GTEST_SKIP() << "this TALLY_MARK.dll reads no settings; greeting was " << greeting;
  EXPECT_EQ(greeting, wanted);
  EXPECT_TRUE(contains(run.output, "Cnc_Init_Controller -> 0")) << run.output;
}

TEST_F(HostSimAsOutsideProgram, ControllerLinkAnnouncesItselfOnUdp8000) {
  if (!dllHas("_Cnc_Communication_Enable@4"))
    GTEST_SKIP() << "this TALLY_MARK.dll has no controller link";
  SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in local = loopback_;
  local.sin_port = htons(8000);
  ASSERT_EQ(bind(udp, reinterpret_cast<sockaddr*>(&local), sizeof local), 0) << WSAGetLastError();
  DWORD wait = 5000;
  setsockopt(udp, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
  PROCESS_INFORMATION pi = start("wait 3000\nquit\n", "--controller 127.0.0.1");
  int keepalives = 0;
  char datagram[64];
  for (int n; keepalives < 5 && (n = recv(udp, datagram, sizeof datagram, 0)) > 0;)
    if (std::string(datagram, static_cast<size_t>(n)) == "keepalive") ++keepalives;
  closesocket(udp);
  Outcome run = finish(pi);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(keepalives, 5);
  EXPECT_TRUE(contains(run.output, "Cnc_Communication_Enable(127.0.0.1) -> 0")) << run.output;
}

// The MTConnect adapter enabled in the profile: an agent on 127.0.0.1, as an MTConnect
// agent connects to a machine, reads the figures, each run and the host's close.
// The operator's status line in the real DLL: the adapter's port is held by another
// program (this test), so the counter window says so, and the count goes on.
TEST_F(HostSimAsOutsideProgram, TheStatusLineNamesAnMTConnectPortInUse) {
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in taken = loopback_;
  int size = sizeof taken;
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&taken), sizeof taken), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  getsockname(holder, reinterpret_cast<sockaddr*>(&taken), &size);
  const std::string port = std::to_string(ntohs(taken.sin_port));
  writeFile(profile(),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<profile>\n"
            "  <Dazada_Ruvazidu>\n    <MTConnectPort>" +
                port +
                "</MTConnectPort>\n    <MTConnectAddress>127.0.0.1</MTConnectAddress>\n"
                "  </Dazada_Ruvazidu>\n</profile>\n");
  writeFile(state(), "dro 1500 2\ndro 1501 100\n");
  // Kept beside the build's other pictures of the window.
  const std::string picture = exeFolder() + "..\\hostsim_counter_status.png";
  DeleteFileA(picture.c_str());
  Outcome run = hostsim(
      "menu Tally_Mark\n"
      "expect label lblStatus MTConnect: cannot listen on 127.0.0.1 port " +
      port +
      "\n"
      "runs 1 seconds 0.4 pause 0.4 qualifier 1\n"
      "expect dro 1500 3\n"
      "screenshot COUNTER " +
      picture +
      "\n"
      "quit\n");
  closesocket(holder);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  const std::string png = readFile(picture);
  EXPECT_EQ(png.substr(0, 4), "\x89PNG");
}

TEST_F(HostSimAsOutsideProgram, AnMTConnectAgentReadsEachRunAndTheClose) {
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in adapter = loopback_;
  int size = sizeof adapter;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&adapter), sizeof adapter), 0);
  getsockname(probe, reinterpret_cast<sockaddr*>(&adapter), &size);
  closesocket(probe);  // a port nothing listens on, for the adapter
  const std::string port = std::to_string(ntohs(adapter.sin_port));
  writeFile(profile(),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<profile>\n"
            "  <Dazada_Ruvazidu>\n    <MTConnectPort>" +
                port +
                "</MTConnectPort>\n    <MTConnectAddress>127.0.0.1</MTConnectAddress>\n"
                "  </Dazada_Ruvazidu>\n</profile>\n");
  writeFile(state(), "dro 1500 2\ndro 1501 100\n");
  PROCESS_INFORMATION pi = start(
      "wait 3000\nruns 2 seconds 0.4 pause 0.4 qualifier 1\nexpect dro 1500 4\nwait 300\nquit\n");
  SOCKET agent = INVALID_SOCKET;
  for (int attempt = 0; attempt < 1200 && agent == INVALID_SOCKET; ++attempt) {
    agent = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(agent, reinterpret_cast<sockaddr*>(&adapter), sizeof adapter) == 0) break;
    closesocket(agent);
    agent = INVALID_SOCKET;
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
  }
  std::string received;
  int last = -1;
  if (agent != INVALID_SOCKET) {
    DWORD wait = 120000;
    setsockopt(agent, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
    send(agent, "* PING\n", 7, 0);
    char buffer[4096];
    while ((last = recv(agent, buffer, sizeof buffer, 0)) > 0)
      received.append(buffer, static_cast<size_t>(last));
    closesocket(agent);
  }
  Outcome run = finish(pi);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  ASSERT_NE(agent, INVALID_SOCKET) << "nothing listened on port " << port;
  EXPECT_EQ(last, 0) << "the adapter's close was not a normal one";
  for (const char* part :
       {"|avail|AVAILABLE", "|part_count|2|total_part_count|100", "\n* PONG 10000\n",
        "|execution|ACTIVE", "|part_count|3", "|part_count|4|total_part_count|102",
        "|cycle_time|0.", "|last_reset|UNAVAILABLE"})
    EXPECT_TRUE(contains(received, part)) << part << " in\n" << received;
  const std::string stop = "|avail|UNAVAILABLE|execution|UNAVAILABLE\n";
  EXPECT_TRUE(received.size() > stop.size() &&
              received.compare(received.size() - stop.size(), stop.size(), stop) == 0)
      << "the last line is not the stop's:\n"
      << received;
}

}  // namespace

// The run log against what a shop PC does to it: a spreadsheet holding the file, and a
// host whose thread runs with another locale than the system's. The plug-in is linked
// in and driven through its exports, as the host drives it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "fake_host.h"
#include "platform/ansi_text.h"
#include "platform/file_io.h"
#include "platform/unique_handle_win32.h"
#include "platform/win32_text.h"
#include "plugin/exports.h"
#include "plugin/plugin_boxes.h"
#include "settings/test_files.h"

using tallymark::platform::narrow;
using tallymark::platform::UniqueHandle;
using tallymark::platform::widen;

namespace {

std::string readWide(const std::string& utf8Path) {
  const UniqueHandle file(CreateFileW(widen(utf8Path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "(missing)";
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  return text;
}

bool existsWide(const std::string& utf8Path) {
  return GetFileAttributesW(widen(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeWide(const std::string& utf8Path, const std::string& bytes) {
  const UniqueHandle file(CreateFileW(widen(utf8Path).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << utf8Path;
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void countOneRun(FakeHost& host) {
  host.setDro(22, 1);
  host.setLed(804, true);
  Update();
  host.setLed(804, false);
  Update();
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class RunLogWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool started = [] {
      PostInitControl();
      return true;
    }();
    (void)started;
  }
  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
};

// A spreadsheet opens a CSV letting others read it only. While it does, the runs wait
// beside the log; the host stops and starts again after the spreadsheet has closed,
// and the log has every run once, in order, after the earlier ones.
TEST_F(RunLogWin32, RunsCountedWhileASpreadsheetHoldsTheLogReachItAfterTheNextStart) {
  const std::string profile = folder.file("Mill.xml");
  const std::string log = folder.file("Mill.runs.csv");
  writeFile(profile, "<profile><Dazada_Ruvazidu></Dazada_Ruvazidu></profile>");
  SetProName(profile.c_str());
  host.setDro(1500, 0);
  host.setDro(1501, 100);
  countOneRun(host);
  StopPlug();
  ASSERT_EQ(countOf(readWide(log), "\r\ncounted,"), 1u);

  SetProName(profile.c_str());
  UniqueHandle spreadsheet(CreateFileW(widen(log).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(spreadsheet);
  {
    tallymark::platform::AppendFile probe;
    std::string error;
    EXPECT_FALSE(probe.open(log, error));
    EXPECT_EQ(probe.fault(), tallymark::platform::FileFault::InUse) << error;
  }
  for (int i = 0; i < 20; ++i) countOneRun(host);
  StopPlug();
  spreadsheet.reset();
  EXPECT_EQ(countOf(readWide(folder.file("Mill.runs.waiting.csv")), "\r\ncounted,"), 20u);

  SetProName(profile.c_str());
  StopPlug();
  const std::string text = readWide(log);
  EXPECT_EQ(countOf(text, "\r\ncounted,"), 21u) << text;
  EXPECT_EQ(countOf(text, "Event,"), 1u) << "one header";
  for (int total = 101; total <= 121; ++total) {
    const std::string row =
        "," + std::to_string(total - 100) + "," + std::to_string(total) + ",,\r\n";
    const size_t at = text.find(row);
    EXPECT_NE(at, std::string::npos) << row;
    EXPECT_EQ(text.find(row, at + 1), std::string::npos) << "once: " << row;
    if (total > 101) EXPECT_LT(text.find("," + std::to_string(total - 1) + ",,\r\n"), at);
  }
  EXPECT_FALSE(existsWide(folder.file("Mill.runs.waiting.csv")));
  EXPECT_TRUE(boxes.shown.empty());
}

// Russian formats on a Western system: the thread's ANSI code page (1251) is not the
// process's. The profile's folder needs the process's to be spelt in 8 bits, and the
// Cyrillic RunLogPath must reach the disk as it is written in the profile.
TEST_F(RunLogWin32, ACyrillicRunLogPathAndTheProfileNameSurviveAThreadLocaleOfAnotherCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects Windows-1252 as the process's code page";
  const std::string mill = folder.file("M\xC3\xBChle");  // Mühle
  ASSERT_TRUE(CreateDirectoryW(widen(mill).c_str(), nullptr));
  const std::string profile = mill + "\\Mill.xml";
  writeWide(profile,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><profile><Dazada_Ruvazidu>"
            "<RunLogPath>\xD0\xB6\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB.csv</RunLogPath>"
            "</Dazada_Ruvazidu></profile>");  // журнал.csv
  const LCID before = GetThreadLocale();
  SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), SORT_DEFAULT));
  const std::string ansiProfile = tallymark::platform::toAnsiCodePage(profile);
  SetProName(ansiProfile.c_str());
  countOneRun(host);
  StopPlug();
  SetThreadLocale(before);

  EXPECT_EQ(ansiProfile.find('?'), std::string::npos) << "ü is in the process's code page";
  EXPECT_EQ(countOf(readWide(mill + "\\\xD0\xB6\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB.csv"),
                    "\r\ncounted,"),
            1u);
  EXPECT_TRUE(boxes.shown.empty()) << "the profile was read and written back";
}

// In the double-byte code pages of East Asia the second byte of a character may be 0x5C,
// the byte of "\\": 表 is 0x95 0x5C in code page 932. A profile named so must not be
// taken for a folder. Runs where the process's code page is 932: the test
// run_log_win32_cp932 starts it so under Wine (LC_ALL=ja_JP.UTF-8), and fails when the
// locale did not take.
TEST_F(RunLogWin32, ATrailByteOf0x5CIsNoFolderSeparator) {
  const char* expected = std::getenv("TALLYMARK_EXPECT_ACP");
  if (expected != nullptr) ASSERT_EQ(GetACP(), 932u) << "the locale ja_JP.UTF-8 did not take";
  if (GetACP() != 932) GTEST_SKIP() << "code page " << GetACP();
  const std::string profile = folder.file("\xE8\xA1\xA8.xml");  // 表.xml
  writeWide(profile,
            "<profile><Dazada_Ruvazidu><RunLogPath>runs.csv</RunLogPath>"
            "</Dazada_Ruvazidu></profile>");
  const std::string ansiProfile = tallymark::platform::toAnsiCodePage(profile);
  ASSERT_NE(ansiProfile.find("\x5C.xml"), std::string::npos) << "a trail byte 0x5C";
  SetProName(ansiProfile.c_str());
  countOneRun(host);
  StopPlug();
  EXPECT_EQ(countOf(readWide(folder.file("runs.csv")), "\r\ncounted,"), 1u);
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace

// The settings as only Windows shows them: the real message box, the ANSI code page,
// and SetProName through the loaded DLL.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/calling_convention.h"
#include "platform/unique_handle_win32.h"
#include "plugin/device.h"
#include "plugin/settings_globals.h"
#include "settings/xml_net_profile.h"

namespace {

std::string tempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

void writeFile(const std::string& path, const std::string& bytes) {
  const tallymark::platform::UniqueHandle file(CreateFileA(
      path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string readFile(const std::string& path) {
  std::string bytes;
  const tallymark::platform::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  return bytes;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM out) {
  wchar_t className[32];
  wchar_t text[512];
  GetClassNameW(child, className, 32);
  if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextW(child, text, 512) > 0) {
    reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(text);
  }
  return TRUE;
}

// Answers the profile store's boxes from a second thread while the tested thread is
// blocked in one: finds each by its dialog class and caption, keeps its text, clicks OK.
class BoxAnswerer {
 public:
  BoxAnswerer() : thread_([this] { run(); }) {}
  ~BoxAnswerer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // The texts of the boxes answered so far; call after the tested call returned.
  std::vector<std::wstring> texts() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return texts_;
  }
  // Each box's owner, and whether the owner was disabled while the box was open.
  std::vector<std::pair<HWND, bool>> owners() {
    texts();
    return owners_;
  }

 private:
  void run() {
    // Twenty seconds without a box is a failure of the test, not a hang.
    for (int idle = 0; !stop_ && idle < 2000; ++idle) {
      HWND box = FindWindowW(L"#32770", L"XMLNetProfile");
      if (box == nullptr) {
        Sleep(10);
        continue;
      }
      std::vector<std::wstring> found;
      EnumChildWindows(box, collectStaticText, reinterpret_cast<LPARAM>(&found));
      texts_.push_back(found.empty() ? L"" : found.back());
      HWND owner = GetWindow(box, GW_OWNER);
      owners_.emplace_back(owner, owner != nullptr && !IsWindowEnabled(owner));
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      for (int wait = 0; IsWindow(box) && wait < 500; ++wait) Sleep(10);
      idle = 0;
    }
  }

  std::atomic<bool> stop_{false};
  std::vector<std::wstring> texts_;
  std::vector<std::pair<HWND, bool>> owners_;
  std::thread thread_;
};

TEST(SettingsWin32, LoadFailureShowsTheRealBoxWhichTheTestAnswers) {
  std::string path = tempPath("tallymark_box_test.xml");
  writeFile(path, "<profile><S>");
  XMLNetProfile profile(path, "S", true);
  BoxAnswerer answerer;
  EXPECT_FALSE(profile.Load());
  std::vector<std::wstring> texts = answerer.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind(L"Warning - ", 0), 0u);
  EXPECT_GT(texts[0].size(), 12u);
  DeleteFileA(path.c_str());
}

TEST(SettingsWin32, CameraPathIsConvertedWithoutBestFit) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects Windows-1252 as the ANSI code page";
  // é exists in Windows-1252; ā does not, and best fit would turn it into "a".
  MyDeviceClass::SaveAutoStart(false, 1, "C:\\cam\\\xC3\xA9-\xC4\x81", false);
  EXPECT_EQ(IPCamPath.get(), "C:\\cam\\\xE9-?");
  EXPECT_EQ(CamType.load(), 1);
}

TEST(SettingsWin32, AtomicSaveReplacesAnExistingProfile) {
  std::string path = tempPath("tallymark_replace_test.xml");
  writeFile(path, "<profile><S><K>old</K></S></profile>");
  XMLNetProfile profile(path, "S", true);
  ASSERT_TRUE(profile.Load());
  profile.WriteString("K", "new");
  ASSERT_TRUE(profile.Save());
  XMLNetProfile check(path, "S", true);
  ASSERT_TRUE(check.Load());
  EXPECT_EQ(check.ReadString("K"), "new");
  DeleteFileA(path.c_str());
}

class PluginDll {
 public:
  PluginDll() : module_(LoadLibraryW(L"TALLY_MARK.dll")) {}
  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  bool loaded() const { return module_ != nullptr; }

 private:
  HMODULE module_;  // never unloaded, as in the host
};

TEST(SettingsWin32, SetProNameThroughTheDllRegistersThePlugin) {
  static PluginDll dll;
  ASSERT_TRUE(dll.loaded());
  auto setProName = dll.get<const char*(TM_CDECL*)(const char*)>("SetProName");
  auto stopPlug = dll.get<void(TM_CDECL*)()>("StopPlug");
  std::string path = tempPath("tallymark_dll_settings.xml");
  writeFile(path,
            "<?xml version=\"1.0\"?>\r\n<profile><Preferences><Units>mm</Units></Preferences>"
            "<Dazada_Ruvazidu><CamType>1</CamType></Dazada_Ruvazidu></profile>");
  EXPECT_STREQ(setProName(path.c_str()), "Tallymark_v1.0");
  {
    XMLNetProfile check(path, "PlugIns", true);
    ASSERT_TRUE(check.Load());
    EXPECT_EQ(check.ReadString("Tallymark_v1.0"), "1");
  }
  stopPlug();
  XMLNetProfile check(path, "Dazada_Ruvazidu", true);
  ASSERT_TRUE(check.Load());
  EXPECT_EQ(check.ReadInt("CamType"), 1);

  // An unreadable profile: the DLL's own boxes, one per load, and the name still comes.
  // They belong to the host's frame, which waits while they are open.
  writeFile(path, "not xml");
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TestHostFrame";
  RegisterClassW(&wc);
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(CreatePopupMenu()),
              "PlugIn Control");
  HWND frame = CreateWindowExW(0, L"TestHostFrame", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               400, 300, nullptr, bar, GetModuleHandleW(nullptr), nullptr);
  BoxAnswerer answerer;
  EXPECT_STREQ(setProName(path.c_str()), "Tallymark_v1.0");
  stopPlug();
  std::vector<std::pair<HWND, bool>> owners = answerer.owners();
  ASSERT_EQ(owners.size(), 3u);
  for (const auto& [owner, disabled] : owners) {
    EXPECT_EQ(owner, frame);
    EXPECT_TRUE(disabled);
  }
  EXPECT_TRUE(IsWindowEnabled(frame));
  EXPECT_EQ(readFile(path), "not xml");
  DestroyWindow(frame);
  DeleteFileA(path.c_str());
}

}  // namespace

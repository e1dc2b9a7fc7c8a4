// The host initialises COM on its user-interface thread before the plug-in runs; the
// test program does the same for its one thread.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // BSTRs freed while the string cache is on would be handed out again without the
  // task allocator seeing them; the tests watch that allocator, so the cache is off
  // before the first string.
  typedef void(WINAPI * SetOaNoCacheFn)();
  auto setOaNoCache = reinterpret_cast<SetOaNoCacheFn>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"oleaut32.dll"), "SetOaNoCache")));
  if (setOaNoCache != nullptr) setOaNoCache();
  if (FAILED(CoInitialize(nullptr))) return 2;
  int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}

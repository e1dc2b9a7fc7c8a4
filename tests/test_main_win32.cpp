// The main of the Windows test programs: GoogleTest's own, except for how the program
// ends. Under Wine we saw test programs whose every test had passed, and whose results
// were printed and written, take 150 to 300 s more to end (three times in about 300
// program runs, under a loaded machine; never reproduced on demand), which a test run
// cannot tell from a hang. What runs after the results is the C runtime's exit and the
// system's process end, not the code under test (the plug-in's own unloading has a test
// of its own, unload_tests), so once the results are out the program ends at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}

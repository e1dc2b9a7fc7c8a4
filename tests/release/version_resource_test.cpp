// The version resources of the built DLL and substitute host, read back with
// GetFileVersionInfoW as Explorer reads them: they hold the project's version.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>

#include "version_resource_win32.h"

namespace {

using tallymark::hostsim::readVersionResource;
using tallymark::hostsim::VersionResource;

std::string exeFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of("\\/") + 1);
}

// "1.1" gives {1, 1, 0, 0}.
void expectVersion(const unsigned (&parts)[4], const std::string& text) {
  std::istringstream in(text);
  std::string part;
  for (int i = 0; i < 4; ++i) {
    unsigned want = std::getline(in, part, '.') ? static_cast<unsigned>(std::stoul(part)) : 0;
    EXPECT_EQ(parts[i], want) << "part " << i << " of " << text;
  }
}

void expectProjectVersion(const std::string& file, unsigned long fileType) {
  SCOPED_TRACE(file);
  VersionResource v;
  ASSERT_TRUE(readVersionResource(exeFolder() + file, v));
  expectVersion(v.fileVersion, TALLYMARK_EXPECTED_VERSION);
  expectVersion(v.productVersion, TALLYMARK_EXPECTED_VERSION);
  EXPECT_EQ(v.fileType, fileType);
  EXPECT_EQ(v.strings["FileVersion"], TALLYMARK_EXPECTED_VERSION);
  EXPECT_EQ(v.strings["ProductVersion"], TALLYMARK_EXPECTED_VERSION);
  EXPECT_EQ(v.strings["ProductName"], "tallymark");
  EXPECT_EQ(v.strings["OriginalFilename"], file);
  EXPECT_EQ(v.strings["Comments"], "commit " TALLYMARK_EXPECTED_COMMIT);
  EXPECT_NE(v.strings["FileDescription"], "");
}

TEST(VersionResource, DllAndHostCarryTheProjectVersionAndCommit) {
  expectProjectVersion("TALLY_MARK.dll", VFT_DLL);
  expectProjectVersion("hostsim.exe", VFT_APP);
}

TEST(VersionResource, FilesWithoutOneAreReportedAsSuch) {
  VersionResource v;
  EXPECT_FALSE(readVersionResource(exeFolder() + "version_resource_tests.exe", v));
  EXPECT_FALSE(readVersionResource(exeFolder() + "no such file.dll", v));
}

}  // namespace

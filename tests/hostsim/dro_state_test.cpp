#include "dro_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace tallymark::hostsim {
namespace {

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(StateFile, EveryDoubleReadsBackBitForBit) {
  const std::map<short, double> dros = {{-32768, -0.0},
                                        {22, 0.1},
                                        {1500, 5.7},
                                        {1501, 2147483647.0},
                                        {1502, 46364.684212962966},
                                        {2000, 1e-300},
                                        {2001, std::numeric_limits<double>::quiet_NaN()},
                                        {32767, -std::numeric_limits<double>::infinity()}};
  std::vector<std::string> warnings;
  auto back = parseState(formatState(dros), warnings);
  EXPECT_TRUE(warnings.empty());
  ASSERT_EQ(back.size(), dros.size());
  for (const auto& [n, value] : dros)
    EXPECT_TRUE(sameBits(back.at(n), value) || (std::isnan(value) && std::isnan(back.at(n)))) << n;
}

TEST(StateFile, DamagedLinesAreSkippedAndNamedTheRestIsKept) {
  std::vector<std::string> warnings;
  auto dros = parseState(
      "# comment\r\n\r\ndro 1500 5\r\ndro 1501\nled 804 1\ndro 40000 1\ndro 22 x\ndro 1502 3 4\n"
      "   dro 1501 7   \n",
      warnings);
  EXPECT_EQ(dros, (std::map<short, double>{{1500, 5.0}, {1501, 7.0}}));
  ASSERT_EQ(warnings.size(), 5u);
  EXPECT_NE(warnings[0].find("line 4"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[4].find("line 8"), std::string::npos) << warnings[4];
}

class StateFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("hostsim_state_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "hostsim-state.txt").u8string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(StateFileOnDisk, MissingFileIsAnEmptyState) {
  std::map<short, double> dros{{1, 1.0}};
  std::vector<std::string> warnings;
  std::string error;
  EXPECT_TRUE(loadStateFile(path_, dros, warnings, error));
  EXPECT_TRUE(dros.empty());
}

TEST_F(StateFileOnDisk, SavingReplacesTheOldFileAndLeavesNoTemporary) {
  std::string error;
  ASSERT_TRUE(saveStateFile(path_, {{1500, 1.0}, {1501, 9.0}}, error)) << error;
  ASSERT_TRUE(saveStateFile(path_, {{1500, 2.0}}, error)) << error;
  std::map<short, double> dros;
  std::vector<std::string> warnings;
  ASSERT_TRUE(loadStateFile(path_, dros, warnings, error)) << error;
  EXPECT_EQ(dros, (std::map<short, double>{{1500, 2.0}}));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(StateFileOnDisk, SavingIntoAMissingFolderFailsWithAReason) {
  std::string error;
  EXPECT_FALSE(saveStateFile((dir_ / "no" / "such" / "state.txt").u8string(), {{1, 1.0}}, error));
  EXPECT_FALSE(error.empty());
}

TEST(MachineStateTest, OnlyARealChangeMakesTheStateDirty) {
  MachineState m;
  EXPECT_EQ(m.dro(1500), 0.0);
  m.setDro(1500, 0.0);
  EXPECT_TRUE(m.dirty()) << "a DRO written for the first time is new state";
  m.markClean();
  m.setDro(1500, 0.0);
  EXPECT_FALSE(m.dirty());
  m.setDro(1500, -0.0);
  EXPECT_TRUE(m.dirty()) << "-0 is another value in the file";
  m.markClean();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  m.setDro(22, nan);
  m.markClean();
  m.setDro(22, nan);
  EXPECT_FALSE(m.dirty()) << "a NaN written again is no change";
  m.setLed(804, true);
  EXPECT_FALSE(m.dirty()) << "LEDs are not kept";
  EXPECT_TRUE(m.led(804));
  EXPECT_FALSE(m.led(805));
}

}  // namespace
}  // namespace tallymark::hostsim

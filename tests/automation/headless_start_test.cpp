// Without a COM runtime the plug-in still starts: the attachment is simply absent.
#include <gtest/gtest.h>

#include "automation/load_file_obj.h"
#include "plugin/device.h"
#include "plugin/exports.h"

namespace {

TEST(HeadlessAutomation, InitControlSucceedsAndBothInterfacesStayNull) {
  TrajBuffer engine{};
  _TrajectoryControl planner{};
  EXPECT_TRUE(InitControl(&engine, nullptr, &planner, nullptr));
  ASSERT_NE(MyDevice, nullptr);
  EXPECT_EQ(MyDevice->loadFileObj->docDispatch, nullptr);
  EXPECT_EQ(MyDevice->loadFileObj->scriptDispatch, nullptr);
  MyDevice->loadFileObj->Start();  // a second start changes nothing either
  EXPECT_EQ(MyDevice->loadFileObj->docDispatch, nullptr);
}

}  // namespace

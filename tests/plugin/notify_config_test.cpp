// The menu item's Notify and the host's Config request, through the exports, on the
// headless window (the Windows run of the same requests is in tests/win32/).
#include <gtest/gtest.h>

#include "counter/config_dialog.h"
#include "counter/counter_window.h"
#include "fake_host.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/plugin.h"
#include "plugin/state.h"

namespace {

class NotifyAndConfig : public ::testing::Test {
 protected:
  void SetUp() override { tallymark::plugin::resetForTests(); }
};

TEST_F(NotifyAndConfig, NotifyShowsAndFocusesOnlyForTheMenuItemsId) {
  FakeHost host;
  host.menuRangeNext = 777;
  Notify(777);  // before PostInitControl there is no window to show
  InitControl(nullptr, nullptr, nullptr, nullptr);
  PostInitControl();
  DAZADA_RUVAZIDU* window = MG::dazada_ruvaziduDlg;
  ASSERT_NE(window, nullptr);
  Notify(778);
  Notify(0);
  EXPECT_FALSE(window->visible());
  Notify(777);
  EXPECT_TRUE(window->visible());
  EXPECT_TRUE(window->focused());
  window->DAZADA_RUVAZIDU_FormClosing();
  EXPECT_FALSE(window->visible());
  Notify(777);
  EXPECT_TRUE(window->visible());
  EXPECT_EQ(MG::dazada_ruvaziduDlg, window) << "shown again, never made anew";
}

TEST_F(NotifyAndConfig, EveryConfigShowsAFreshNoticeAndTouchesNoDro) {
  FakeHost host;
  const int before = ConfigDialog::timesShown();
  Config();
  Config();
  EXPECT_EQ(ConfigDialog::timesShown(), before + 2);
  EXPECT_TRUE(host.log.empty());
}

}  // namespace

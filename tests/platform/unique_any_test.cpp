// The owner template against a resource that records every close.
#include "platform/unique_any.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<int>& closed() {
  static std::vector<int> values;
  return values;
}

// 0 and below are "nothing", as with a table of handles whose first slot is never given.
struct CountedTraits {
  using Type = int;
  static int invalid() noexcept { return 0; }
  static bool isValid(int value) noexcept { return value > 0; }
  static void close(int value) noexcept { closed().push_back(value); }
};
using Counted = tallymark::platform::UniqueAny<CountedTraits>;

class UniqueAnyTest : public ::testing::Test {
 protected:
  void SetUp() override { closed().clear(); }
};

TEST_F(UniqueAnyTest, ClosesWhatItHoldsOnceWhenDestroyedAndNothingWhenEmpty) {
  {
    Counted empty;
    EXPECT_FALSE(empty);
    Counted invalid(-5);
    EXPECT_FALSE(invalid);
    Counted held(7);
    EXPECT_TRUE(held);
    EXPECT_EQ(held.get(), 7);
  }
  EXPECT_EQ(closed(), std::vector<int>{7});
}

TEST_F(UniqueAnyTest, MovingHandsOverTheValueAndLeavesTheSourceEmpty) {
  {
    Counted first(3);
    Counted second(std::move(first));
    EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the contract under test
    EXPECT_EQ(first.get(), 0);
    EXPECT_EQ(second.get(), 3);
    EXPECT_TRUE(closed().empty());

    Counted third(4);
    third = std::move(second);  // 4 is given up for 3
    EXPECT_EQ(closed(), std::vector<int>{4});
    EXPECT_EQ(third.get(), 3);
    EXPECT_FALSE(second);  // NOLINT(bugprone-use-after-move)

    Counted& alias = third;
    third = std::move(alias);  // onto itself: keeps it open
    EXPECT_EQ(third.get(), 3);
    EXPECT_EQ(closed(), std::vector<int>{4});
  }
  EXPECT_EQ(closed(), (std::vector<int>{4, 3}));
}

TEST_F(UniqueAnyTest, ResetClosesTheOldValueButNeverTheOneItKeeps) {
  Counted held(1);
  held.reset(2);
  EXPECT_EQ(closed(), std::vector<int>{1});
  held.reset(2);  // the same value again: closing it would leave the owner holding a dead one
  EXPECT_EQ(closed(), std::vector<int>{1});
  EXPECT_EQ(held.get(), 2);
  held.reset();
  held.reset();  // a second reset of an empty owner closes nothing more
  EXPECT_EQ(closed(), (std::vector<int>{1, 2}));
  EXPECT_FALSE(held);
}

TEST_F(UniqueAnyTest, ReleaseGivesTheValueUpUnclosedAndPutClosesFirst) {
  Counted held(9);
  const int raw = held.release();
  EXPECT_EQ(raw, 9);
  EXPECT_FALSE(held);
  held.reset(10);
  int* slot = held.put();  // a call writing a new value through a pointer
  EXPECT_EQ(closed(), std::vector<int>{10});
  *slot = 11;
  EXPECT_EQ(held.get(), 11);
  held.reset();
  EXPECT_EQ(closed(), (std::vector<int>{10, 11}));  // 9 was released: never closed here
}

}  // namespace

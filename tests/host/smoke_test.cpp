#include "winsim/machine.h"

#include <gtest/gtest.h>

TEST(Smoke, Builds) { winsim::Reset(); EXPECT_TRUE(winsim::AllReleased()); }

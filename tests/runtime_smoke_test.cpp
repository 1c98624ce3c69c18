#include <gtest/gtest.h>

#include "runtime/date.h"

TEST(DateSmoke, EpochDay) { EXPECT_EQ(wv::dateFromYmd(2000, 1, 1).jd, 2451545); }

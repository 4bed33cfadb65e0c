#include <vector>

#include <gtest/gtest.h>

#include "bench/statistics.hpp"

namespace {

// The order statistics x(j) and x(n + 1 - j) with the largest j whose binomial coverage still
// reaches 95 %; below 6 values the whole range with the coverage it has.
TEST(Statistics, TheMedianIntervalComesFromOrderStatistics)
{
    EXPECT_DOUBLE_EQ(median({5, 1, 3}), 3);
    EXPECT_DOUBLE_EQ(median({4, 1, 3, 2}), 2.5);

    median_interval const five = median_confidence_interval({9, 2, 7, 4, 5});
    EXPECT_DOUBLE_EQ(five.low, 2);
    EXPECT_DOUBLE_EQ(five.high, 9);
    EXPECT_DOUBLE_EQ(five.confidence, 1 - 2.0 / 32);

    // Ten values: P(B < 2) = 11/1024 keeps 97.9 %, P(B < 3) = 56/1024 would fall to 89 %.
    median_interval const ten = median_confidence_interval({10, 1, 9, 2, 8, 3, 7, 4, 6, 5});
    EXPECT_DOUBLE_EQ(ten.low, 2);
    EXPECT_DOUBLE_EQ(ten.high, 9);
    EXPECT_DOUBLE_EQ(ten.confidence, 1 - 22.0 / 1024);

    median_interval const one = median_confidence_interval({3});
    EXPECT_DOUBLE_EQ(one.low, 3);
    EXPECT_DOUBLE_EQ(one.high, 3);
    EXPECT_DOUBLE_EQ(one.confidence, 0);
}

}  // namespace

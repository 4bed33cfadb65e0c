#include "sort/tuning.hpp"

#include <gtest/gtest.h>

#include "funnel/tuning.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using tuning = benchmark_tuning;

TEST_F(tuning, threshold_is_316_and_follows_alpha_not_d_in_its_base)
{
    EXPECT_EQ(base_case_threshold(funnel::default_tuning), 316);
    EXPECT_EQ(base_case_threshold(funnel::tuning{2, 2.5f}), 56);  // (2 * 2.5)^2.5 = 55.9
    // (2 * 2.5)^2 = 25: the 2.5 of the base stays
    EXPECT_EQ(base_case_threshold(funnel::tuning{2, 2.0f}), 25);
}

TEST_F(tuning, fan_out_rounds_to_nearest_and_is_at_least_two)
{
    EXPECT_EQ(fan_out(0, funnel::default_tuning), 2);
    EXPECT_EQ(fan_out(1, funnel::default_tuning), 2);
    EXPECT_EQ(fan_out(316, funnel::default_tuning), 2);  // 316^0.4 / 4 = 2.49
    EXPECT_EQ(fan_out(318, funnel::default_tuning), 3);  // just above T + 1 the fan-out reaches 3
    EXPECT_EQ(fan_out(1374, funnel::default_tuning), 4);
    EXPECT_EQ(fan_out(1375, funnel::default_tuning), 5);
    EXPECT_EQ(fan_out(15360000, funnel::default_tuning), 187);
}

TEST_F(tuning, every_range_above_the_threshold_splits_at_least_three_ways)
{
    std::uint64_t const t = static_cast<std::uint64_t>(base_case_threshold(funnel::default_tuning));
    for (std::uint64_t m = t + 2; m < t + 2000; ++m) {
        ASSERT_GE(fan_out(m, funnel::default_tuning), 3) << m;
    }
}

struct split_row {
    std::uint64_t n, k, q, r, m0;
};

TEST_F(tuning, benchmark_sizes_split_as_tabulated)
{
    split_row const rows[] = {
        {480000, 47, 10212, 36, 10213},   {960000, 62, 15483, 54, 15484},    {1920000, 82, 23414, 52, 23415},
        {3840000, 108, 35555, 60, 35556}, {7680000, 142, 54084, 72, 54085}, {15360000, 187, 82139, 7, 82140},
    };
    for (split_row const& row : rows) {
        range_split const s = split_of(row.n, funnel::default_tuning);
        EXPECT_EQ(s.k, row.k) << row.n;
        EXPECT_EQ(s.q, row.q) << row.n;
        EXPECT_EQ(s.r, row.r) << row.n;
        EXPECT_EQ(s.m0, row.m0) << row.n;
        EXPECT_FALSE(s.base_case) << row.n;
    }
}

TEST_F(tuning, quotient_t_plus_one_is_a_base_case_and_t_plus_two_recurses)
{
    // 1271 = 4 * 317 + 3 and 1272 = 4 * 318 both split 4 ways (1271^0.4 / 4 = 4.36).
    ASSERT_EQ(fan_out(1271, funnel::default_tuning), 4);
    ASSERT_EQ(fan_out(1272, funnel::default_tuning), 4);
    EXPECT_TRUE(split_of(1271, funnel::default_tuning).base_case);
    EXPECT_EQ(split_of(1271, funnel::default_tuning).q, 317u);
    EXPECT_FALSE(split_of(1272, funnel::default_tuning).base_case);
    EXPECT_EQ(split_of(1272, funnel::default_tuning).q, 318u);
}

TEST_F(tuning, part_layouts_put_long_parts_last_in_a_base_case_and_first_when_recursing)
{
    range_split const s = split_of(10, funnel::default_tuning);  // 2 parts: q = 5, r = 0
    EXPECT_EQ(base_part_size(s, 0), 5u);
    EXPECT_EQ(base_part_size(s, 1), 5u);

    range_split three;  // the 4, 3, 3 example: k = 3, q = 3, r = 1
    three.k = 3;
    three.q = 3;
    three.r = 1;
    three.m0 = 4;
    EXPECT_EQ(recursive_part_size(three, 0), 4u);
    EXPECT_EQ(recursive_part_size(three, 1), 3u);
    EXPECT_EQ(recursive_part_size(three, 2), 3u);
    EXPECT_EQ(base_part_size(three, 0), 3u);
    EXPECT_EQ(base_part_size(three, 1), 3u);
    EXPECT_EQ(base_part_size(three, 2), 4u);
}

TEST_F(tuning, parts_of_both_layouts_tile_the_range)
{
    for (std::uint64_t n : {318ull, 1000ull, 16491ull, 480000ull, 15360000ull}) {
        range_split const s = split_of(n, funnel::default_tuning);
        std::uint64_t base_total = 0;
        std::uint64_t recursive_total = 0;
        for (std::uint64_t i = 0; i < s.k; ++i) {
            base_total += base_part_size(s, i);
            recursive_total += recursive_part_size(s, i);
            EXPECT_LE(recursive_part_size(s, i), s.m0);
        }
        EXPECT_EQ(base_total, n);
        EXPECT_EQ(recursive_total, n);
        EXPECT_EQ(recursive_part_size(s, 0), s.m0);
    }
}

}  // namespace

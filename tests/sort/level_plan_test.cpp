#include "sort/level_plan.hpp"

#include <gtest/gtest.h>

#include "sort/tuning.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using level_plans = benchmark_tuning;
using inputs = std::vector<std::int32_t>;
using sizes = std::vector<std::uint64_t>;

TEST_F(level_plans, benchmark_sizes_keep_the_tabulated_level_trees)
{
    struct row {
        std::uint64_t n;
        inputs tree_inputs;
        sizes scratch;
    };
    row const rows[] = {
        {480000, {10, 4}, {10213, 1022}},
        {960000, {12, 4, 3}, {15484, 1291, 323}},
        {1920000, {14, 5, 3}, {23415, 1673, 335}},
        {3840000, {17, 5, 3}, {35556, 2092, 419}},
        {7680000, {20, 6, 3}, {54085, 2705, 451}},
        {15360000, {23, 7, 3}, {82140, 3572, 511}},
    };
    for (row const& r : rows) {
        level_plan const plan = plan_levels(r.n, funnel::default_tuning);
        EXPECT_EQ(plan.tree_inputs, r.tree_inputs) << r.n;
        EXPECT_EQ(plan.scratch, r.scratch) << r.n;
    }
}

TEST_F(level_plans, a_base_case_outer_call_has_no_levels)
{
    for (std::uint64_t n : {1ull, 317ull, 1271ull}) {
        level_plan const plan = plan_levels(n, funnel::default_tuning);
        EXPECT_TRUE(plan.tree_inputs.empty()) << n;
        EXPECT_TRUE(plan.scratch.empty()) << n;
    }
}

TEST_F(level_plans, a_smaller_part_that_recurses_deeper_gets_a_level_of_its_own)
{
    // 16491 = 12 parts of 1374 or 1375. The largest part splits 5 ways into base cases, but a
    // 1374-element part splits 4 ways into parts of 343 and 344, which recurse 3 ways again.
    level_plan const plan = plan_levels(16491, funnel::default_tuning);
    EXPECT_EQ(plan.tree_inputs, (inputs{5, 3}));
    EXPECT_EQ(plan.scratch, (sizes{1375, 344}));
}

TEST_F(level_plans, a_smaller_part_can_need_the_larger_scratch_block)
{
    // 38591: the largest part at depth 1 takes a scratch block of 379 elements, a smaller one
    // with a lower fan-out takes 454.
    level_plan const plan = plan_levels(38591, funnel::default_tuning);
    ASSERT_EQ(plan.scratch.size(), 2u);
    EXPECT_EQ(plan.scratch[1], 454u);
}

TEST_F(level_plans, a_depth_that_only_base_cases_reach_needs_no_further_level)
{
    // 13949 = 11 parts of 1268 or 1269, each split 4 ways into parts of at most 318 whose
    // quotient, 317, is still a base case: the depth-1 calls never recurse.
    level_plan const plan = plan_levels(13949, funnel::default_tuning);
    EXPECT_EQ(plan.tree_inputs, (inputs{4}));
    EXPECT_EQ(plan.scratch, (sizes{1269}));
}

}  // namespace

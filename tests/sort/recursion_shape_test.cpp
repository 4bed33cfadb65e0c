// Dry runs of the recursion shape over very many sizes: the level plan must give every call a
// level tree at its depth with enough inputs, and the pool estimate must cover the peak of both
// drivers. The peaks of the dry run are checked against real sorts with a counting allocator.

#include "tests/sort/recursion_shape.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "funnel/element_trees.hpp"
#include "sort/cached.hpp"
#include "sort/level_plan.hpp"
#include "sort/pool_estimate.hpp"
#include "sort/uncached.hpp"
#include "tests/support/benchmark_tuning.hpp"
#include "tests/sort/counting_allocator.hpp"
#include "tests/sort/sort_inputs.hpp"

namespace {

using test_support::allocation_log;
using test_support::counting_allocator;
using test_support::recursion_shape;

using stack_tree = funnel::stack_element_tree;
using counted_tree = funnel::element_tree<counting_allocator<element>>;

constexpr std::uint64_t every_size_up_to = 20000;

// Runs of sizes (first, last) where a smaller part needs more than the largest part at its depth,
// found by scanning every size up to 16.5 million: it recurses deeper, needs a level tree with
// more inputs or a larger scratch block; or the largest part's chain counts a level that no call
// reaches.
struct size_run {
    std::uint64_t first, last;
};
size_run const hard_runs[] = {
    {13949, 13981},       {15217, 15252},       {16489, 16499},       {17863, 17874},       {20606, 20657},
    {22191, 22246},       {38591, 38606},       {75813, 75833},       {79259, 79280},       {138013, 138039},
    {142942, 142969},     {235901, 235934},     {242641, 242675},     {373843, 373883},     {382744, 382785},
    {571601, 571649},     {583033, 583082},     {795037, 796917},     {808985, 810898},     {832359, 832415},
    {846710, 846767},     {928177, 930372},     {1055233, 1055999},   {1071721, 1072499},   {1184360, 1184425},
    {1196755, 1197624},   {1202037, 1202103},   {1214617, 1215499},   {1524771, 1528618},   {1545376, 1549275},
    {1628529, 1628603},   {1649957, 1650032},   {1730821, 1735188},   {1753011, 1757434},   {2203235, 2203319},
    {2228854, 2228939},   {2905633, 2905727},   {2935900, 2935995},   {3786517, 3786622},   {4360671, 4362590},
    {4399261, 4401197},   {4837529, 4837645},   {6076675, 6076802},   {6123781, 6123909},   {7576213, 7576352},
    {7629945, 7630085},   {9315865, 9316016},   {9376753, 9376905},   {11385443, 11385607}, {11454030, 11454195},
    {13418725, 13422617}, {13494537, 13498451}, {13754898, 13755075}, {13831741, 13831919}, {14504215, 14508422},
    {16448257, 16448447},
};

// The level sizes along the largest part: start from m0 and divide by the fan-out while the
// size exceeds T + 1.
std::vector<std::uint64_t> largest_part_chain(std::uint64_t n)
{
    std::vector<std::uint64_t> chain;
    range_split const s = split_of(n, funnel::default_tuning);
    if (s.base_case) {
        return chain;
    }
    for (std::uint64_t m = s.m0; static_cast<std::int64_t>(m) > base_case_threshold(funnel::default_tuning) + 1;) {
        chain.push_back(m);
        auto const k = static_cast<std::uint64_t>(fan_out(m, funnel::default_tuning));
        m = (m + k - 1) / k;
    }
    return chain;
}

bool plan_follows_largest_part(std::uint64_t n)
{
    std::vector<std::uint64_t> const chain = largest_part_chain(n);
    level_plan const plan = plan_levels(n, funnel::default_tuning);
    if (plan.tree_inputs.size() != chain.size()) {
        return false;
    }
    for (std::size_t j = 0; j < chain.size(); ++j) {
        if (plan.tree_inputs[j] != fan_out(chain[j], funnel::default_tuning) || plan.scratch[j] != chain[j]) {
            return false;
        }
    }
    return true;
}

// Every size up to 20000, the hard runs with their neighbours, and sizes spread evenly on a
// logarithmic scale up to 16 million.
std::vector<std::uint64_t> sweep_sizes()
{
    std::vector<std::uint64_t> sizes;
    for (std::uint64_t n = 1; n <= every_size_up_to; ++n) {
        sizes.push_back(n);
    }
    for (size_run const& r : hard_runs) {
        for (std::uint64_t n : {r.first - 1, r.first, (r.first + r.last) / 2, r.last, r.last + 1}) {
            sizes.push_back(n);
        }
    }
    constexpr int spread_sizes = 120;
    constexpr double largest = 16.0e6;
    for (int i = 0; i < spread_sizes; ++i) {
        double const fraction = static_cast<double>(i) / (spread_sizes - 1);
        sizes.push_back(static_cast<std::uint64_t>(every_size_up_to * std::pow(largest / every_size_up_to, fraction)));
    }
    return sizes;
}

class recursion_shapes : public benchmark_tuning {
protected:
    template <class Tree>
    static recursion_shape shape_for()
    {
        return recursion_shape([](std::int32_t k) { return tree_memory<Tree>(k, funnel::default_tuning); });
    }
};

TEST_F(recursion_shapes, hard_runs_are_where_the_largest_part_does_not_tell_the_whole_story)
{
    for (size_run const& r : hard_runs) {
        EXPECT_FALSE(plan_follows_largest_part(r.first)) << r.first;
        EXPECT_FALSE(plan_follows_largest_part(r.last)) << r.last;
        EXPECT_TRUE(plan_follows_largest_part(r.first - 1)) << r.first - 1;
        EXPECT_TRUE(plan_follows_largest_part(r.last + 1)) << r.last + 1;
    }
}

TEST_F(recursion_shapes, every_call_finds_a_level_tree_and_every_peak_fits_the_pool)
{
    recursion_shape shape = shape_for<stack_tree>();
    for (std::uint64_t n : sweep_sizes()) {
        test_support::call_shape const& outer = shape.of(n);
        level_plan const plan = plan_levels(n, funnel::default_tuning);
        // The calls at depth j + 1 need level tree j; no level goes unused.
        std::vector<std::int32_t> const needed(outer.fan_outs.begin() + 1, outer.fan_outs.end());
        ASSERT_EQ(plan.tree_inputs, needed) << n;
        std::uint64_t const pool = pool_size_estimate(n, funnel::default_tuning);
        ASSERT_LE(shape.cached_peak(n, sizeof(stack_tree)), pool) << n;
        ASSERT_LE(outer.uncached_peak, pool) << n;
    }
}

TEST_F(recursion_shapes, benchmark_pools_are_exactly_the_cached_peak)
{
    struct row {
        std::uint64_t n, outer_tree, pool;
    };
    row const rows[] = {
        {480000, 111408, 190272},   {960000, 146688, 285512},   {1920000, 466032, 466248},
        {3840000, 551632, 666216},  {7680000, 714288, 973464},  {15360000, 947264, 1440568},
    };
    recursion_shape shape = shape_for<stack_tree>();
    ASSERT_EQ(sizeof(stack_tree), 72u);
    for (row const& r : rows) {
        EXPECT_EQ(tree_memory<stack_tree>(fan_out(r.n, funnel::default_tuning), funnel::default_tuning), r.outer_tree) << r.n;
        EXPECT_EQ(pool_size_estimate(r.n, funnel::default_tuning), r.pool) << r.n;
        if (r.n != 1920000) {  // there the outer tree is the peak and the level tree array is slack
            EXPECT_EQ(shape.cached_peak(r.n, sizeof(stack_tree)), r.pool) << r.n;
        }
    }
}

TEST_F(recursion_shapes, a_base_case_sort_needs_one_tree)
{
    EXPECT_EQ(pool_size_estimate(318, funnel::default_tuning), tree_memory<stack_tree>(3, funnel::default_tuning));
    EXPECT_EQ(tree_memory<stack_tree>(3, funnel::default_tuning), 880u + 3 * 16);
}

// The dry run's peaks are what real sorts take: a counting allocator follows every block.
TEST_F(recursion_shapes, real_sorts_peak_where_the_dry_run_says)
{
    recursion_shape shape = shape_for<counted_tree>();
    for (std::uint64_t n : {318ull, 1272ull, 5000ull, 13949ull, 16491ull, 17870ull, 38591ull}) {
        std::vector<element> const input = test_support::numbered_input(n, 0, n);
        std::vector<element> out(n);

        std::vector<element> work = input;
        allocation_log cached_log;
        iosort::_merge_sort<counted_tree>(work.data(), work.data() + n, out.data(),
                                          counting_allocator<element>(&cached_log), funnel::default_tuning);
        EXPECT_EQ(cached_log.peak_bytes, shape.cached_peak(n, sizeof(counted_tree))) << n;
        EXPECT_EQ(cached_log.live_blocks, 0) << n;

        work = input;
        allocation_log uncached_log;
        uncached::_merge_sort<counted_tree>(work.data(), work.data() + n, out.data(),
                                            counting_allocator<element>(&uncached_log), funnel::default_tuning);
        EXPECT_EQ(uncached_log.peak_bytes, shape.of(n).uncached_peak) << n;
        EXPECT_EQ(uncached_log.live_blocks, 0) << n;
    }
}

}  // namespace

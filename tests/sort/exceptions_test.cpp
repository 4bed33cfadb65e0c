// Failures inside a sort: whatever request fails, every block taken so far is given back (in
// reverse order, so that a pool stays consistent) and no allocator copy outlives the sort.

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "alloc/stack_allocator.hpp"
#include "funnel/element_trees.hpp"
#include "sort/sort_entry.hpp"
#include "tests/support/benchmark_tuning.hpp"
#include "tests/sort/counting_allocator.hpp"
#include "tests/sort/recursion_shape.hpp"
#include "tests/sort/sort_inputs.hpp"

namespace {

using test_support::allocation_log;
using test_support::counting_allocator;

using counted_tree = funnel::element_tree<counting_allocator<element>>;
using stack_tree = funnel::stack_element_tree;
using pool = stack_allocator<element>;

class sort_failures : public benchmark_tuning {
protected:
    template <class Tree, class Allocator>
    static void sort_with(driver which, std::vector<element> input, Allocator const& alloc)
    {
        std::vector<element> out(input.size());
        element* const first = input.data();
        element* const last = first + input.size();
        if (which == driver::cached) {
            iosort::_merge_sort<Tree>(first, last, out.data(), alloc, funnel::default_tuning);
        } else {
            uncached::_merge_sort<Tree>(first, last, out.data(), alloc, funnel::default_tuning);
        }
    }
};

TEST_F(sort_failures, a_failure_on_any_request_leaves_nothing_allocated)
{
    // 1272: one level; 16491: two levels, the second only reached by the smaller parts.
    for (std::uint64_t n : {1272ull, 16491ull}) {
        std::vector<element> const input = test_support::numbered_input(n, 0, n);
        for (driver which : {driver::cached, driver::uncached}) {
            allocation_log clean;
            sort_with<counted_tree>(which, input, counting_allocator<element>(&clean));
            ASSERT_GT(clean.requests, 10u);
            for (std::uint64_t failing = 1; failing <= clean.requests; ++failing) {
                allocation_log log;
                log.fail_at = failing;
                EXPECT_THROW(sort_with<counted_tree>(which, input, counting_allocator<element>(&log)), std::bad_alloc)
                    << n << " request " << failing;
                ASSERT_EQ(log.live_blocks, 0) << n << " request " << failing;
                ASSERT_EQ(log.live_bytes, 0u) << n << " request " << failing;
            }
        }
    }
}

// Runs a sort in a pool of the given size and returns the failure text, or "" if it sorted.
// Afterwards the pool must have all its blocks back and no copy but the caller's.
template <class Sort>
std::string failure_in_pool(std::uint64_t bytes, Sort sort)
{
    pool alloc(bytes);
    char* const initial_top = alloc.pool()->top;
    std::string failure;
    try {
        sort(alloc);
    } catch (stack_allocator_head::stack_bad_alloc const& e) {
        failure = e.what();
    }
    EXPECT_EQ(alloc.pool()->ref_count, 1);
    EXPECT_EQ(alloc.pool()->top, initial_top);
    return failure;
}

TEST_F(sort_failures, a_pool_one_byte_short_runs_out_and_gets_every_block_back)
{
    std::string const out_of_space = "stack_allocator: ran out of pool space";
    test_support::recursion_shape shape([](std::int32_t k) { return tree_memory<stack_tree>(k, funnel::default_tuning); });
    for (std::uint64_t n : {1272ull, 16491ull, 480000ull}) {
        std::vector<element> const input = test_support::numbered_input(n, 0, n);
        auto const cached = [&](pool const& a) { sort_with<stack_tree>(driver::cached, input, a); };
        auto const uncached = [&](pool const& a) { sort_with<stack_tree>(driver::uncached, input, a); };

        std::uint64_t const cached_peak = shape.cached_peak(n, sizeof(stack_tree));
        EXPECT_EQ(failure_in_pool(cached_peak, cached), "") << n;
        EXPECT_EQ(failure_in_pool(cached_peak - 1, cached), out_of_space) << n;

        std::uint64_t const uncached_peak = shape.of(n).uncached_peak;
        EXPECT_EQ(failure_in_pool(uncached_peak, uncached), "") << n;
        EXPECT_EQ(failure_in_pool(uncached_peak - 1, uncached), out_of_space) << n;
    }
    // For a benchmark size the estimate is exactly the cached driver's peak.
    EXPECT_EQ(pool_size_estimate(480000, funnel::default_tuning), shape.cached_peak(480000, sizeof(stack_tree)));
}

TEST_F(sort_failures, an_allocator_without_a_pool_fails_at_once)
{
    std::vector<element> const input = test_support::numbered_input(1272, 0, 1);
    for (driver which : {driver::cached, driver::uncached}) {
        try {
            sort_with<stack_tree>(which, input, pool(0));
            ADD_FAILURE() << "sorted without a pool";
        } catch (stack_allocator_head::stack_bad_alloc const& e) {
            EXPECT_STREQ(e.what(),
                         "stack_allocator: allocating from deallocated allocator (don't dynamically allocate allocators)");
        }
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "funnel/element_trees.hpp"
#include "sort/sort_entry.hpp"
#include "tests/sort/benchmark_tuning.hpp"
#include "tests/sort/sort_inputs.hpp"

namespace {

using drivers = with_benchmark_tuning;
using test_support::numbered_input;

template <class Tree>
std::vector<element> sorted_by(driver which, std::vector<element> input)
{
    std::vector<element> out(input.size());
    sort_entry<Tree>(which, input.data(), input.data() + input.size(), out.data());
    return out;
}

TEST_F(drivers, smoke)
{
    for (std::uint64_t n : {1ull, 317ull, 318ull, 1272ull, 5000ull, 16491ull, 100000ull}) {
        std::vector<element> const input = numbered_input(n, 1000, n);
        std::vector<element> const a = sorted_by<funnel::stack_element_tree>(driver::cached, input);
        std::vector<element> const b = sorted_by<funnel::heap_element_tree>(driver::uncached, input);
        EXPECT_TRUE(test_support::is_sorted_permutation(input, a)) << n;
        EXPECT_TRUE(test_support::is_sorted_permutation(input, b)) << n;
    }
}

}  // namespace

// Every input pattern sorts correctly through the benchmark's sort entry, with both drivers and
// both allocators.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "funnel/element_trees.hpp"
#include "gen/input_patterns.hpp"
#include "items/element.hpp"
#include "sort/sort_entry.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using input_sorting = benchmark_tuning;

// Sizes around the base-case threshold (T = 316 with the benchmark's tuning) and a few with
// recursion below the top level.
#ifdef KIT_SANITIZED_BUILD
constexpr std::uint64_t sizes[] = {0, 1, 2, 317, 318, 2000, 9000};
#else
constexpr std::uint64_t sizes[] = {0, 1, 2, 317, 318, 2000, 9000, 60000};
#endif
constexpr long seed = 8;

bool by_key_then_payload(element const& a, element const& b)
{
    return a.key != b.key ? a.key < b.key : a.payload < b.payload;
}

bool same_element(element const& a, element const& b) { return a.key == b.key && a.payload == b.payload; }

template <class Tree>
void expect_sorts(std::string const& name, driver which, char const* label)
{
    for (std::uint64_t n : sizes) {
        srand48(seed);
        std::vector<element> input(n);
        gen::fill_input(name, input.data(), input.data() + n);
        std::vector<element> expected = input;
        std::sort(expected.begin(), expected.end(), by_key_then_payload);

        std::vector<element> output(n);
        sort_entry<Tree>(which, input.data(), input.data() + n, output.data(), funnel::default_tuning);
        ASSERT_TRUE(std::is_sorted(output.begin(), output.end())) << name << ' ' << label << ' ' << n;
        std::sort(output.begin(), output.end(), by_key_then_payload);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), output.begin(), same_element))
            << name << ' ' << label << ' ' << n << ": not the input's elements";
    }
}

TEST_F(input_sorting, every_pattern_sorts_with_both_drivers_and_both_allocators)
{
    for (std::string const& name : gen::input_pattern_names()) {
        expect_sorts<funnel::stack_element_tree>(name, driver::cached, "cached stack");
        expect_sorts<funnel::heap_element_tree>(name, driver::cached, "cached heap");
        expect_sorts<funnel::stack_element_tree>(name, driver::uncached, "uncached stack");
        expect_sorts<funnel::heap_element_tree>(name, driver::uncached, "uncached heap");
    }
}

}  // namespace

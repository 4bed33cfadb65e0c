#include "sort/run_order.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "funnel/element_trees.hpp"
#include "sort/ordered_drain.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using run_order = benchmark_tuning;

using runs_t = std::vector<std::vector<element>>;

// Runs whose key ranges lie in a random order and often touch: each run is a block of one or two
// keys around a random position, so neighbouring blocks share their end keys and some overlap.
runs_t random_batch(std::mt19937_64& rng, std::uint64_t& payload)
{
    std::uniform_int_distribution<int> count(3, 9);
    std::uniform_int_distribution<int> length(1, 4);
    std::uniform_int_distribution<std::uint64_t> block(0, 6);
    runs_t runs(static_cast<std::size_t>(count(rng)));
    for (auto& run : runs) {
        std::uint64_t const low = 2 * block(rng);
        int const n = length(rng);
        for (int i = 0; i < n; ++i) {
            std::uint64_t const key = low + (i * 2 >= n ? 1u : 0u) + (rng() % 8 == 0 ? 1u : 0u);
            run.push_back(element{key, reinterpret_cast<void*>(static_cast<std::uintptr_t>(++payload))});
        }
        std::sort(run.begin(), run.end(), [](element const& a, element const& b) { return a.key < b.key; });
    }
    return runs;
}

// The runs through the tree, or through the copy, which sets copied when it takes them.
std::vector<element> merged(runs_t runs, bool by_copy, bool& copied)
{
    funnel::heap_element_tree tree(static_cast<std::int32_t>(runs.size()), std::allocator<element>());
    for (auto& run : runs) {
        tree.add_input(run.data(), run.data() + run.size());
    }
    std::vector<element> out;
    auto to_out = std::back_inserter(out);
    copied = by_copy && copy_runs_if_ordered(tree, to_out);
    if (!by_copy) {
        warm_up(tree);
        deliver(tree, std::back_inserter(out));
    }
    return out;
}

TEST_F(run_order, a_copied_batch_is_exactly_what_the_tree_merges_and_a_refused_one_is_untouched)
{
    std::mt19937_64 rng(7);
    std::uint64_t payload = 0;
    int copies = 0;
    int refusals = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        runs_t const runs = random_batch(rng, payload);
        bool copied = false;
        bool unused = false;
        std::vector<element> const by_copy = merged(runs, true, copied);
        std::vector<element> const by_tree = merged(runs, false, unused);
        if (!copied) {
            ++refusals;
            EXPECT_TRUE(by_copy.empty());
            continue;
        }
        ++copies;
        ASSERT_EQ(by_copy.size(), by_tree.size());
        for (std::size_t i = 0; i < by_tree.size(); ++i) {
            ASSERT_EQ(by_copy[i].key, by_tree[i].key) << trial << ' ' << i;
            ASSERT_EQ(by_copy[i].payload, by_tree[i].payload) << trial << ' ' << i;
        }
    }
    // Both outcomes must be common for the comparison to mean something.
    EXPECT_GT(copies, 300);
    EXPECT_GT(refusals, 300);
}

}  // namespace

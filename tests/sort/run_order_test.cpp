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

// A batch of 3 to 9 sorted runs of up to 40 items with numbered payloads, in one of three shapes:
// runs over blocks of neighbouring keys that touch and sometimes overlap (mostly long leading
// blocks), runs over three keys (long blocks of equal keys), and random keys (short blocks).
runs_t random_batch(std::mt19937_64& rng, std::uint64_t& payload)
{
    int const shape = static_cast<int>(rng() % 3);
    runs_t runs(3 + rng() % 7);
    for (auto& run : runs) {
        std::uint64_t const low = 4 * (rng() % 7);
        std::uint64_t const n = 1 + rng() % 40;
        for (std::uint64_t i = 0; i < n; ++i) {
            std::uint64_t key = shape == 0 ? low + 4 * i / n + (rng() % 16 == 0 ? 2 : 0)
                              : shape == 1 ? rng() % 3
                                           : rng() % 1000;
            run.push_back(element{key, reinterpret_cast<void*>(static_cast<std::uintptr_t>(++payload))});
        }
        std::sort(run.begin(), run.end(), [](element const& a, element const& b) { return a.key < b.key; });
    }
    return runs;
}

// Leading blocks moved out, then the tree for the rest, as the drivers do it; counts how many
// items went out before the tree started (all of them when the tree had nothing left).
std::vector<element> merged(runs_t runs, bool blocks_first, std::size_t& moved_before_tree)
{
    funnel::heap_element_tree tree(static_cast<std::int32_t>(runs.size()), std::allocator<element>(), funnel::default_tuning);
    for (auto& run : runs) {
        tree.add_input(run.data(), run.data() + run.size());
    }
    std::vector<element> out;
    auto to_out = std::back_inserter(out);
    bool const done = blocks_first && move_leading_blocks(tree, to_out);
    moved_before_tree = out.size();
    if (!done) {
        warm_up(tree);
        deliver(tree, to_out);
    }
    return out;
}

TEST_F(run_order, leading_blocks_then_the_tree_give_exactly_the_trees_merge)
{
    std::mt19937_64 rng(7);
    std::uint64_t payload = 0;
    int all_moved = 0;
    int some_moved = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        runs_t const runs = random_batch(rng, payload);
        std::size_t moved = 0;
        std::size_t unused = 0;
        std::vector<element> const with_blocks = merged(runs, true, moved);
        std::vector<element> const by_tree = merged(runs, false, unused);
        all_moved += moved == by_tree.size() ? 1 : 0;
        some_moved += moved > 0 && moved < by_tree.size() ? 1 : 0;
        ASSERT_EQ(with_blocks.size(), by_tree.size());
        for (std::size_t i = 0; i < by_tree.size(); ++i) {
            ASSERT_EQ(with_blocks[i].key, by_tree[i].key) << trial << ' ' << i;
            ASSERT_EQ(with_blocks[i].payload, by_tree[i].payload) << trial << ' ' << i;
        }
    }
    // Both ways of ending must be common for the comparison to mean something.
    EXPECT_GT(all_moved, 100);
    EXPECT_GT(some_moved, 100);
}

}  // namespace

#pragma once
// The size of the pool a stack run draws every block of its sort from. The pool cannot grow, so
// the estimate must cover the peak of both drivers: while the cached driver recurses it holds the
// level tree array, every level tree and one path of scratch blocks; afterwards, the outer tree
// alone. The uncached driver holds one path of scratch blocks and one tree, never more.

#include <algorithm>
#include <cstdint>

#include "funnel/buffer.hpp"
#include "sort/level_plan.hpp"
#include "sort/tuning.hpp"

// The pool bytes of an array of m items of type T: a size that is not a multiple of 8 is rounded
// up to one (see stack_allocator).
template <class T>
std::uint64_t item_array_memory(std::uint64_t m)
{
    return (m * sizeof(T) + 7) & ~std::uint64_t{7};
}

// S(k) + 16 k: the pool memory of one merge tree with k inputs, its layout and its input slots.
// Items whose size is not a multiple of 8 lose up to 7 bytes per buffer to rounding; a tree has
// fewer than 2 k buffers.
template <class Tree>
std::uint64_t tree_memory(std::int32_t k, funnel::tuning t)
{
    using T = typename Tree::value_type;
    std::uint64_t const rounding = sizeof(T) % 8 == 0 ? 0 : 2 * 8 * static_cast<std::uint64_t>(k);
    return Tree::layout_type::size_of(k, funnel::height(k), t) +
           static_cast<std::uint64_t>(k) * sizeof(funnel::buffer<T*>) + rounding;
}

// The estimate for a sort over n items at tuning t with trees of type Tree (and items of its value type). The pool has always been sized
// along the largest part at every depth (its scratch block and level tree); that stays the floor,
// and the worst part at every depth grows it where a smaller part needs more: a larger scratch
// block, a level tree with more inputs, or a depth of its own. The level tree array takes one
// tree object per level.
template <class Tree>
std::uint64_t pool_size_estimate_for(std::uint64_t n, funnel::tuning t)
{
    range_split const outer = split_of(n, t);
    std::uint64_t const outer_tree = tree_memory<Tree>(static_cast<std::int32_t>(outer.k), t);
    if (outer.base_case) {
        return outer_tree;
    }
    std::int64_t const threshold = base_case_threshold(t);

    // Along the largest part: each level's tree and scratch block, as long as the part exceeds T + 1.
    std::uint64_t largest = 0;
    std::uint64_t largest_levels = 0;
    for (std::uint64_t m = outer.m0; static_cast<std::int64_t>(m) > threshold + 1;) {
        std::int32_t const k = fan_out(m, t);
        largest += tree_memory<Tree>(k, t) + item_array_memory<typename Tree::value_type>(m);
        ++largest_levels;
        m = (m + static_cast<std::uint64_t>(k) - 1) / static_cast<std::uint64_t>(k);
    }

    // The worst part at every depth.
    level_plan const plan = plan_levels(n, t);
    std::uint64_t worst = 0;
    for (std::int32_t k : plan.tree_inputs) {
        worst += tree_memory<Tree>(k, t);
    }
    for (std::uint64_t m : plan.scratch) {
        worst += item_array_memory<typename Tree::value_type>(m);
    }

    return std::max(std::max(largest, outer_tree) + largest_levels * sizeof(Tree),
                    std::max(worst, outer_tree) + plan.tree_inputs.size() * sizeof(Tree));
}

// The bytes the pool of a stack run over n elements at tuning t must hold, for the benchmark's pool tree.
std::uint64_t pool_size_estimate(std::uint64_t n, funnel::tuning t);

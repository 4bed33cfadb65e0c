#pragma once
// The uncached funnel merge sort: the same recursion as the cached one, but every call that
// merges builds a fresh tree for its own K(n) runs, uses it once and destroys it. Nothing is
// reset and no tree outlives its call, so every part recurses as deep as it needs.

#include "sort/ordered_drain.hpp"
#include "sort/run_placement.hpp"
#include "sort/scratch_block.hpp"
#include "sort/tuning.hpp"

namespace uncached {

// Delivers the n elements of [first, last) to out in ascending order at tuning t; out is the sort's
// output stream for the outer call and an item array, not overlapping the range, for the
// inner ones. [first, last) is working space and is left holding runs. The outer call needs
// n > T + 1, so that every tree has at least three inputs. Every tree merges with a copy of
// step, which carries the order.
template <class Merger, class OutputIterator, class Item = typename Merger::value_type>
void _merge_sort(Item* first, Item* last, OutputIterator out, typename Merger::allocator alloc, funnel::tuning t,
                 typename Merger::merger_type const& step = typename Merger::merger_type())
{
    range_split const s = split_of(static_cast<std::uint64_t>(last - first), t);
    auto const inputs = static_cast<std::int32_t>(s.k);
    if (s.base_case) {
        Merger tree(inputs, alloc, t, step);
        sort_and_add_base_parts(tree, first, s);
        merge_runs(tree, out);
        return;
    }
    {
        scratch_block<typename Merger::allocator> scratch(alloc, s.m0);
        sort_parts_rotated(first, last, s, scratch.data(), [&](Item* part_first, Item* part_last, Item* part_out) {
            _merge_sort<Merger>(part_first, part_last, part_out, alloc, t, step);
        });
    }
    // Built after the scratch block is given back, so the pool holds one path of scratch blocks
    // and at most one tree at any time.
    Merger tree(inputs, alloc, t, step);
    add_rotated_runs(tree, first, s);
    merge_runs(tree, out);
}

}  // namespace uncached

#pragma once
// The cached funnel merge sort. Every call splits its range into K(n) parts, sorts them (small
// parts with std::sort, larger ones recursively) and merges the sorted runs with a k-way merge
// tree. The trees inside the recursion are built once per sort, one per depth, by the outer call,
// and every call at a depth resets its depth's tree before using it; only the outer merge builds
// a tree of its own.

#include "sort/level_plan.hpp"
#include "sort/level_trees.hpp"
#include "sort/ordered_drain.hpp"
#include "sort/run_placement.hpp"
#include "sort/scratch_block.hpp"
#include "sort/tuning.hpp"

namespace iosort {

// Inner call: sorts [first, last) into [out, out + n) with the borrowed level tree of its depth;
// deeper calls use the trees that follow it. [first, last) is working space and is left holding runs.
template <class Merger, class Item = typename Merger::value_type>
void _merge_sort(Item* first, Item* last, Item* out, Merger* tree, typename Merger::allocator alloc, funnel::tuning t)
{
    range_split const s = split_of(static_cast<std::uint64_t>(last - first), t);
    // The reset comes before the recursion, which only uses deeper trees.
    if (!tree->fresh) {
        tree->reset();
    }
    tree->inputs_end = tree->inputs_begin;
    if (s.base_case) {
        sort_and_add_base_parts(*tree, first, s);
    } else {
        scratch_block<typename Merger::allocator> scratch(alloc, s.m0);
        sort_parts_rotated(first, last, s, scratch.data(), [&](Item* part_first, Item* part_last, Item* part_out) {
            _merge_sort<Merger>(part_first, part_last, part_out, tree + 1, alloc, t);
        });
        scratch.release();
        add_rotated_runs(*tree, first, s);
    }
    merge_runs(*tree, out);
}

// Outer call: delivers the n elements of [first, last) to out in ascending order at tuning t; n
// must exceed T + 1. Afterwards [first, last) holds the runs, not the sorted sequence. Every tree
// merges with a copy of step, which carries the order.
template <class Merger, class OutputIterator, class Item = typename Merger::value_type>
void _merge_sort(Item* first, Item* last, OutputIterator out, typename Merger::allocator alloc, funnel::tuning t,
                 typename Merger::merger_type const& step = typename Merger::merger_type())
{
    range_split const s = split_of(static_cast<std::uint64_t>(last - first), t);
    if (s.base_case) {
        Merger tree(static_cast<std::int32_t>(s.k), alloc, t, step);
        sort_and_add_base_parts(tree, first, s);
        merge_runs(tree, out);
        return;
    }
    {
        // Sized for the worst part at every depth, not only the largest one, so that every call
        // finds a tree at its depth with at least as many inputs as it has runs.
        level_plan const plan = plan_levels(static_cast<std::uint64_t>(last - first), t);
        level_trees<Merger> levels(plan.tree_inputs, alloc, t, step);
        scratch_block<typename Merger::allocator> scratch(alloc, s.m0);
        sort_parts_rotated(first, last, s, scratch.data(), [&](Item* part_first, Item* part_last, Item* part_out) {
            _merge_sort<Merger>(part_first, part_last, part_out, levels.first(), alloc, t);
        });
        scratch.release();
    }
    // Built only now, after the level trees are gone, so the pool holds one or the other.
    Merger tree(static_cast<std::int32_t>(s.k), alloc, t, step);
    add_rotated_runs(tree, first, s);
    merge_runs(tree, out);
}

}  // namespace iosort

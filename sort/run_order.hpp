#pragma once
// Batches that need no merging. The tree merges a batch of sorted runs so that equal items leave
// from the higher input slot first (input 1 first at every node). When the runs, taken in some
// order, already follow one another, that merge is exactly their concatenation in that order:
// each run must end before the next one begins, or end on an item equal to the next one's first
// item and lie in a higher slot than it. Sorted, reversed and constant inputs give such batches at
// every depth, and copying them run after run costs one sequential pass instead of a pass per
// level of the tree.
//
// Where such an order exists it is unique: the runs' first items never decrease along it, and runs
// that begin with equal items come from the highest slot down. So the check sorts the runs by that
// key and tests each neighbouring pair.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace run_order_detail {

// The largest batch the check looks at; its order lives in a stack array of this many slot
// numbers (4 KiB). Fan-outs stay far below it for any input that fits in memory, and a larger
// batch is simply merged through its tree.
constexpr std::ptrdiff_t max_runs = 1024;

}  // namespace run_order_detail

// If the runs in the slots of tree's batch follow one another, copies them to out in their order,
// leaves every slot used up and returns true; otherwise touches nothing and returns false. The
// trees order their items by std::less of the item type (element: by key).
template <class Merger, class OutputIterator>
bool copy_runs_if_ordered(Merger& tree, OutputIterator& out)
{
    using item = typename Merger::value_type;
    std::less<item> const less;
    auto* const slots = tree.inputs_begin;
    std::ptrdiff_t const batch = tree.inputs_end - tree.inputs_begin;
    if (batch > run_order_detail::max_runs) {
        return false;
    }
    std::int32_t order[run_order_detail::max_runs];
    std::ptrdiff_t runs = 0;
    for (std::ptrdiff_t i = 0; i < batch; ++i) {
        if (slots[i].begin != slots[i].end) {
            order[runs++] = static_cast<std::int32_t>(i);
        }
    }
    std::sort(order, order + runs, [&](std::int32_t a, std::int32_t b) {
        item const& first_a = *slots[a].begin;
        item const& first_b = *slots[b].begin;
        if (less(first_a, first_b)) return true;
        if (less(first_b, first_a)) return false;
        return a > b;
    });
    for (std::ptrdiff_t j = 1; j < runs; ++j) {
        item const& last_before = *(slots[order[j - 1]].end - 1);
        item const& first_after = *slots[order[j]].begin;
        bool const ends_before = less(last_before, first_after);
        bool const ties_in_slot_order = !less(first_after, last_before) && order[j - 1] > order[j];
        if (!ends_before && !ties_in_slot_order) {
            return false;
        }
    }
    for (std::ptrdiff_t j = 0; j < runs; ++j) {
        auto& run = slots[order[j]];
        out = std::copy(run.begin, run.end, out);
        run.begin = run.end;
    }
    return true;
}

#pragma once
// The drivers' delivery from the root for every item type: element trees drain with the
// key-reading batches of root_drain.hpp; trees of any other type merge the root's two buffers with
// their merger's order, one comparison per item, refilling a buffer the moment it runs empty.
// merge_runs is what the drivers call for every batch.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "funnel/ordered_merger.hpp"
#include "items/element.hpp"
#include "sort/root_drain.hpp"
#include "sort/run_order.hpp"

template <class Merger, class OutputIterator>
OutputIterator drain_ordered(Merger& tree, OutputIterator out)
{
    using less = typename Merger::merger_type::less;
    auto* const root = tree.root;
    auto& left = root->buffers[0];
    auto& right = root->buffers[1];
    // While both subtrees deliver: merge until a buffer runs empty, then refill it.
    int emptied = 0;
    for (;;) {
        out = funnel::merge_ordered(left.begin, left.end, right.begin, right.end, out,
                                    std::numeric_limits<std::ptrdiff_t>::max(), less());
        emptied = left.begin == left.end ? 0 : 1;
        root_detail::refill_root_buffer(tree, emptied);
        if (root->buffers[emptied].begin == root->buffers[emptied].end) break;
    }
    // That subtree is exhausted: the rest of the other goes out as it comes.
    int const rest = 1 - emptied;
    auto& other = root->buffers[rest];
    while (other.begin != other.end) {
        out = std::copy(other.begin, other.end, out);
        other.begin = other.end;
        root_detail::refill_root_buffer(tree, rest);
    }
    return out;
}

// Everything below the root into out, for a tree of any item type; returns the advanced output.
template <class Merger, class OutputIterator>
OutputIterator deliver(Merger& tree, OutputIterator out)
{
    if constexpr (std::is_same<typename Merger::value_type, element>::value) {
        return drain(tree, out);
    } else {
        return drain_ordered(tree, out);
    }
}

// Merges the batch of runs just added to a fresh tree into out and returns the advanced output:
// leading blocks of the runs go straight out while they are long, and the tree merges what is left
// of them. A tree that merged nothing is still fresh and needs no reset before the next batch.
template <class Merger, class OutputIterator>
OutputIterator merge_runs(Merger& tree, OutputIterator out)
{
    if (move_leading_blocks(tree, out)) {
        return out;
    }
    warm_up(tree);
    return deliver(tree, out);
}

#pragma once
// The drivers' delivery from the root for every item type, through the one drain loop of
// root_drain.hpp: element trees merge the root's two buffers with the key-reading batches there,
// trees of any other type with their merger's order, one comparison per item. merge_runs is what
// the drivers call for every batch.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "funnel/ordered_merger.hpp"
#include "items/element.hpp"
#include "sort/item_room.hpp"
#include "sort/root_drain.hpp"
#include "sort/run_order.hpp"

// Everything below the root into out, for a tree of any item type; returns the advanced output.
// An item array is written directly. Any other output (the benchmark's checking stream) gets the
// items through a 4 KiB array in the first-level cache, copied out whenever it fills: the merge
// loop then only stores, and the output's own per-item work runs in a plain copy loop.
template <class Merger, class OutputIterator>
OutputIterator deliver(Merger& tree, OutputIterator out)
{
    using T = typename Merger::value_type;
    using Buffer = typename std::remove_reference<decltype(tree.root->buffers[0])>::type;
    auto const drain_up_to = [&tree](T* to, std::ptrdiff_t room) {
        if constexpr (Merger::merger_type::reads_keys) {
            return drain_into(tree, to, room, [](Buffer& left, Buffer& right, T* into, std::ptrdiff_t most) {
                return merge_root_buffers<Merger>(left, right, into, most);
            });
        } else {
            auto const& less = tree.merger.order;
            return drain_into(tree, to, room, [&less](Buffer& left, Buffer& right, T* into, std::ptrdiff_t most) {
                return funnel::merge_ordered(left.begin, left.end, right.begin, right.end, into, most, less);
            });
        }
    };
    if constexpr (std::is_same<OutputIterator, T*>::value) {
        return drain_up_to(out, std::numeric_limits<std::ptrdiff_t>::max());
    } else {
        constexpr std::ptrdiff_t staged = 4096 / sizeof(T) > 0 ? 4096 / sizeof(T) : 1;
        item_room<T, staged> room;
        T* const stage = room.data();
        for (;;) {
            T* const end = drain_up_to(stage, staged);
            out = std::copy(stage, end, out);
            if (end != stage + staged) {
                return out;
            }
        }
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

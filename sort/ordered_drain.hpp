#pragma once
// The drivers' delivery from the root for every item type: element trees drain with the
// key-reading batches of root_drain.hpp; trees of any other type merge the root's two buffers with
// their merger's order, one comparison per item, refilling a buffer the moment it runs empty.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "funnel/ordered_merger.hpp"
#include "items/element.hpp"
#include "sort/root_drain.hpp"

template <class Merger, class OutputIterator>
OutputIterator drain_ordered(Merger& tree, OutputIterator out)
{
    using less = typename Merger::merger_type::less;
    auto* const root = tree.root;
    auto& left = root->buffers[0];
    auto& right = root->buffers[1];
    for (;;) {
        bool const has_left = left.begin != left.end;
        bool const has_right = right.begin != right.end;
        int emptied = 0;
        if (has_left && has_right) {
            auto* const left_before = left.begin;
            auto* const right_before = right.begin;
            out = funnel::merge_ordered(left.begin, left.end, right.begin, right.end, out,
                                        std::numeric_limits<std::ptrdiff_t>::max(), less());
            emptied = left.begin == left.end ? 0 : 1;
            Merger::merger_type::count::node_call(1, (left.begin - left_before) + (right.begin - right_before));
        } else if (has_left || has_right) {
            emptied = has_left ? 0 : 1;
            auto& only = root->buffers[emptied];
            out = std::copy(only.begin, only.end, out);
            Merger::merger_type::count::node_call(1, only.end - only.begin);
            only.begin = only.end;
        } else {
            return out;
        }
        root_detail::refill_root_buffer(tree, emptied);
    }
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

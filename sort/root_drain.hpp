#pragma once
// The work the drivers do at the root of a loaded tree. The root has no output buffer of its
// own: the drivers' output stands in for one, and the root's two buffers are merged straight into
// it, each refilled from its subtree the moment it runs empty.

#include <algorithm>
#include <cstddef>

#include "funnel/merger.hpp"
#include "items/element.hpp"

namespace root_detail {

constexpr int ways = 2;

// The breadth-first index of the root's child c (the root is 1).
constexpr int root_child_index(int c) { return 2 + c; }

// Refills root buffer c from child c: the buffer is flipped to its write view, the child writes
// into it, and the flip back leaves exactly what the child wrote as the read view.
template <class Merger>
void refill_root_buffer(Merger& tree, int c)
{
    auto* const root = tree.root;
    root->flip(c);
    // As inside the tree, a leaf is known by its index and never loaded.
    if (root_child_index(c) >= tree.first_leaf) {
        tree.fill_leaf(&root->buffers[c], root_child_index(c));
    } else {
        tree.fill(root->children[c], &root->buffers[c], root_child_index(c));
    }
    root->flip(c);
}

}  // namespace root_detail

// Fills every buffer of a freshly built or reset tree once, bottom up, starting from the root's
// children. Only a fresh tree is warmed up; afterwards buffers are refilled lazily.
template <class Merger>
void warm_up(Merger& tree)
{
    if (!tree.fresh) {
        return;
    }
    auto* const root = tree.root;
    for (int c = 0; c < root_detail::ways; ++c) {
        if (root->children[c] != nullptr) {
            root->flip(c);
            tree.warmup(root->children[c], &root->buffers[c], root_detail::root_child_index(c));
            root->flip(c);
        }
    }
    tree.fresh = false;
}

// Merges the root's two buffers, both holding elements, into out until one of them runs empty or
// `room` elements are written (room may be the largest ptrdiff_t: it is compared with what was
// written, never added to a pointer); returns the advanced output. On equal keys the element of
// buffer 1 (right) goes first, as at every other node of the tree. Inlined into the drain loop, so
// that the merge kernel is compiled into it as well.
template <class Merger, class Buffer>
[[gnu::always_inline]] inline element* merge_root_buffers(Buffer& left, Buffer& right, element* out,
                                                          std::ptrdiff_t room)
{
    // Batches as in the merge step: a batch no longer than the shorter buffer cannot empty either
    // buffer before its last step.
    element* l = left.begin;
    element* r = right.begin;
    element* const l_end = left.end;
    element* const r_end = right.end;
    element* const start = out;
    for (;;) {
        std::ptrdiff_t const left_room = room - (out - start);
        std::ptrdiff_t const both = std::min({l_end - l, r_end - r, left_room});
        if (!funnel::copy_leading_block(l, l_end, r, r_end, out, std::min((l_end - l) + (r_end - r), left_room))) {
            out = funnel::merge_batch(l, r, out, both);
        }
        if (l == l_end || r == r_end || out - start == room) {
            break;
        }
    }
    Merger::merger_type::count::node_call(1, (l - left.begin) + (r - right.begin));
    left.begin = l;
    right.begin = r;
    return out;
}

// Merges from below the root into out until `room` items are written or everything has come out,
// and returns the end of what it wrote: fewer than room items only when the tree is exhausted.
// merge_both(left, right, out, room) merges the root's buffers while both hold items, as
// merge_root_buffers does for element. A buffer that stays empty after its refill belongs to an
// exhausted subtree and is not looked at again.
template <class Merger, class T, class MergeBoth>
T* drain_into(Merger& tree, T* out, std::ptrdiff_t room, MergeBoth merge_both)
{
    auto* const root = tree.root;
    auto& left = root->buffers[0];
    auto& right = root->buffers[1];
    while (room != 0) {
        bool const has_left = left.begin != left.end;
        bool const has_right = right.begin != right.end;
        int emptied = root_detail::ways;  // none yet
        T* const start = out;
        if (has_left && has_right) {
            out = merge_both(left, right, out, room);
            emptied = left.begin == left.end ? 0 : right.begin == right.end ? 1 : root_detail::ways;
        } else if (has_left || has_right) {
            int const only_one = has_left ? 0 : 1;
            auto& only = root->buffers[only_one];
            std::ptrdiff_t const moved = std::min(only.end - only.begin, room);
            out = std::copy(only.begin, only.begin + moved, out);
            Merger::merger_type::count::node_call(1, moved);
            only.begin += moved;
            if (only.begin == only.end) {
                emptied = only_one;
            }
        } else {
            return out;
        }
        room -= out - start;
        if (emptied != root_detail::ways) {
            root_detail::refill_root_buffer(tree, emptied);
        }
    }
    return out;
}

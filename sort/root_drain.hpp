#pragma once
// The work the drivers do at the root of a loaded tree. The root has no output buffer of its
// own: the drivers' output stands in for one, and the root's two buffers are merged straight into
// it, each refilled from its subtree the moment it runs empty.

#include <algorithm>

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

// Merges everything below the root into out and returns the advanced iterator. On equal keys the
// element of root buffer 1 goes first, as at every other node of the tree. A buffer that stays
// empty after its refill belongs to an exhausted subtree and is not looked at again.
template <class Merger, class OutputIterator>
OutputIterator drain(Merger& tree, OutputIterator out)
{
    auto* const root = tree.root;
    auto& left = root->buffers[0];
    auto& right = root->buffers[1];
    for (;;) {
        bool const has_left = left.begin != left.end;
        bool const has_right = right.begin != right.end;
        int emptied = 0;
        if (has_left && has_right) {
            // Batches as in the merge step, but the output never fills up: a batch as long as
            // the shorter buffer cannot empty either buffer before its last step.
            element* l = left.begin;
            element* r = right.begin;
            element* const l_end = left.end;
            element* const r_end = right.end;
            for (;;) {
                std::ptrdiff_t const both = std::min(l_end - l, r_end - r);
                if (!funnel::copy_leading_block(l, l_end, r, r_end, out, (l_end - l) + (r_end - r))) {
                    out = funnel::merge_batch(l, r, out, both);
                }
                if (l == l_end) {
                    emptied = 0;
                    break;
                }
                if (r == r_end) {
                    emptied = 1;
                    break;
                }
            }
            Merger::merger_type::count::node_call(1, (l - left.begin) + (r - right.begin));
            left.begin = l;
            right.begin = r;
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

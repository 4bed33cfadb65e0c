#pragma once
// Walks over a tree of pointer_flip_node: every buffer in pre-order, and the leaves from left to
// right (used when laying a tree out) or from right to left (used when tearing it down).
//
// A leaf walk keeps the path path[0..depth] from the root path[0] to the current leaf
// path[depth]; all leaves of a tree lie at the same depth.

#include <cstdint>

namespace funnel {

template <typename Node, typename Splitter>
struct pointer_flip_navigator {
    typedef Node node_type;

    // Room for the path of the deepest tree an int32 count of inputs can need.
    static constexpr int max_path = 32;

    // For i = 0 then 1, where n has child i: f(*n, i) for buffer i, then the subtree of child i.
    // Leaves are not touched. f gets the node as well, since a buffer's state is defined by the
    // storage it lies in.
    template <typename F>
    static F enum_buffers(Node* n, F f)
    {
        for (int i = 0; i < 2; ++i) {
            if (n->children[i] != nullptr) {
                f(*n, i);
                f = enum_buffers(n->children[i], f);
            }
        }
        return f;
    }

    // path[0] must hold the root.
    static void to_first_leaf(Node** path, int depth)
    {
        for (int i = 0; i < depth; ++i) {
            path[i + 1] = path[i]->children[0];
        }
    }

    // The rightmost existing child at every level.
    static void to_last_leaf(Node** path, int depth)
    {
        for (int i = 0; i < depth; ++i) {
            Node* right = path[i]->children[1];
            path[i + 1] = right != nullptr ? right : path[i]->children[0];
        }
    }

    // Moves to the next leaf to the right; false when the walk has passed the last leaf.
    static bool to_next_leaf(Node** path, int depth)
    {
        for (int i = depth; i >= 1; --i) {
            Node* parent = path[i - 1];
            if (parent->children[1] == path[i]) {
                continue;
            }
            path[i] = parent->children[1];
            if (path[i] == nullptr) {
                return false;
            }
            for (int j = i; j < depth; ++j) {
                path[j + 1] = path[j]->children[0];
            }
            return true;
        }
        return false;
    }

    // Moves to the next leaf to the left; false when the walk has passed the first leaf.
    static bool to_previous_leaf(Node** path, int depth)
    {
        for (int i = depth; i >= 1; --i) {
            Node* parent = path[i - 1];
            if (parent->children[0] == path[i]) {
                continue;
            }
            path[i] = parent->children[0];
            for (int j = i; j < depth; ++j) {
                path[j + 1] = path[j]->children[1];
            }
            return true;
        }
        return false;
    }
};

}  // namespace funnel

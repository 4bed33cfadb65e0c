#pragma once
// The building blocks of a funnel merge tree: the two-pointer range that serves as a node's
// buffer, an input run and an output range; the two-way node with its buffers and storage; the
// pointer flip that turns a buffer between its read and write views; the breadth-first node
// index and the tree height.

#include <cstdint>

namespace funnel {

// As a read view, [begin, end) are the unread elements; as a write view, begin is the next free
// slot and end the first slot that may not be written. Empty when begin == end.
template <typename Ptr>
struct buffer {
    Ptr begin = nullptr;
    Ptr end = nullptr;
};

// A merge node. Buffer i holds the output of child i inside the storage block
// [storage_begin[i], storage_end[i]). A node is a leaf exactly when children[0] is null; a leaf
// merges two input runs of its tree instead of its own buffers. A position without a child has
// null buffer and storage and is empty for ever.
template <int Ways, typename Ptr>
struct pointer_flip_node {
    static_assert(Ways == 2, "the funnel is built from two-way nodes");

    buffer<Ptr> buffers[Ways];
    Ptr storage_begin[Ways];
    Ptr storage_end[Ways];
    pointer_flip_node* children[Ways];

    bool is_leaf() const { return children[0] == nullptr; }

    // Switches buffer i between its two views. A read view that has been consumed up to x
    // becomes the write view [storage_begin, x): the child may write as far as the previous
    // contents reached. After the child has written up to w, the second flip yields the read
    // view [storage_begin, w): exactly what was written.
    void flip(int i) { buffers[i] = buffer<Ptr>{storage_begin[i], buffers[i].begin}; }
};

// A node's breadth-first position: the root is 1, child i of x is 2x + i.
template <int Ways>
using bfs_index = std::int32_t;

inline bfs_index<2> bfs_child(bfs_index<2> x, int i) { return 2 * x + i; }

// The height of a tree for k inputs: the bit length of k - 1, that is ceil(log2 k). A tree of
// height h has node levels 0 to h - 1 and room for 2^h inputs.
inline std::int16_t height(std::int32_t k)
{
    std::int16_t h = 0;
    for (std::int32_t rest = k - 1; rest > 0; rest /= 2) {
        ++h;
    }
    return h;
}

}  // namespace funnel

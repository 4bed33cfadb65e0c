#pragma once
// The memory of a merge tree, laid out recursively: a tree is cut into a top tree and bottom
// trees (the splitter's rule); the top tree is laid out first, then, top leaf by top leaf, each
// bottom tree right after the buffer that connects it to the top tree. Nodes and buffers come
// from one allocation sequence, so with the pool allocator a subtree and the buffers inside it
// occupy one contiguous stretch, and everything is given back in exactly the reverse order.
//
// Buffer sizes are recomputed from the tuning, not read from the nodes: size_of, do_layout and
// the matching destroy must be given the same tuning.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "funnel/tuning.hpp"

namespace funnel {

template <typename Navigator, typename Splitter, typename T, typename A>
struct layout_base {
    typedef Navigator navigator;
    typedef typename Navigator::node_type node_type;
    typedef A allocator;

    // The bytes do_layout takes for a tree of k inputs and height h (nodes and buffers; not the
    // tree's input slots nor the tree object).
    static std::uint64_t size_of(int k, short h, tuning t)
    {
        if (h < 2) {
            return sizeof(node_type);
        }
        typename Splitter::split const s = Splitter::of(k, h, t);
        std::uint64_t const buffer_bytes = s.bufsize * sizeof(T);
        std::uint64_t total = size_of(s.bottom_count, s.top_height, t);
        std::int32_t const full_trees = k / s.bottom_inputs;
        std::int32_t const rest = k % s.bottom_inputs;
        total += static_cast<std::uint64_t>(full_trees) * (buffer_bytes + size_of(s.bottom_inputs, s.bottom_height, t));
        if (rest != 0) {
            total += buffer_bytes + size_of(rest, s.bottom_height, t);
        }
        return total;
    }
};

template <typename Navigator, typename Splitter, typename T, typename A>
struct mixed_veb_layout : layout_base<Navigator, Splitter, T, A> {
    typedef typename Navigator::node_type node_type;

    static_assert(std::is_trivially_destructible<node_type>::value && std::is_trivially_destructible<T>::value,
                  "nodes and buffered elements are released without running destructors");

    // Allocates and links the nodes and buffers of a tree for k inputs and height h and returns
    // its root. Every buffer is left in the empty state with all its elements zero. init tells
    // whether the tree's leaves are written here; a top tree's leaves are written by the caller.
    // If an allocation fails, everything this call took is given back in reverse order before
    // the failure propagates, so a pool's boundary returns to where it was.
    template <typename NA, typename EA>
    static node_type* do_layout(int k, short h, bool init, NA& nodes, EA& elems, tuning t)
    {
        if (h < 2) {
            node_type* n = nodes.allocate(1);
            ::new (static_cast<void*>(n)) node_type;  // starts its life without writing it
            if (init) {
                make_leaf(n);
            }
            return n;
        }
        if (k < 1 || k > (std::int64_t{1} << h)) {
            throw std::invalid_argument("a merge tree of this height cannot hold that many inputs");
        }

        typename Splitter::split const s = Splitter::of(k, h, t);
        node_type* const top = do_layout(s.bottom_count, s.top_height, false, nodes, elems, t);
        int const depth = s.top_height - 1;
        node_type* path[Navigator::max_path];
        path[0] = top;
        Navigator::to_first_leaf(path, depth);

        std::int32_t remaining = k;
        std::int32_t finished = 0;  // bottom trees on the leaves already wired
        for (;;) {
            T* storage[2] = {nullptr, nullptr};
            node_type* children[2] = {nullptr, nullptr};
            std::int32_t inputs[2] = {0, 0};
            int made = 0;
            T* pending = nullptr;  // a buffer whose bottom tree is not laid out yet
            try {
                while (remaining > 0 && made < 2) {
                    pending = elems.allocate(s.bufsize);
                    std::uninitialized_fill_n(pending, s.bufsize, T());
                    inputs[made] = std::min(remaining, s.bottom_inputs);
                    children[made] = do_layout(inputs[made], s.bottom_height, init, nodes, elems, t);
                    storage[made] = pending;
                    pending = nullptr;
                    ++made;
                    remaining -= s.bottom_inputs;
                }
            } catch (...) {
                if (pending != nullptr) {
                    elems.deallocate(pending, s.bufsize);
                }
                for (int j = made - 1; j >= 0; --j) {
                    destroy(children[j], inputs[j], s.bottom_height, nodes, elems, t);
                    elems.deallocate(storage[j], s.bufsize);
                }
                if (finished > 0) {
                    Navigator::to_previous_leaf(path, depth);
                    release_bottom_trees(path, depth, finished, k, s, nodes, elems, t);
                }
                destroy(top, s.bottom_count, s.top_height, nodes, elems, t);
                throw;
            }

            node_type* leaf = path[depth];
            for (int j = 0; j < 2; ++j) {
                T* const storage_end = storage[j] == nullptr ? nullptr : storage[j] + s.bufsize;
                leaf->buffers[j].begin = storage_end;
                leaf->buffers[j].end = storage_end;
                leaf->storage_begin[j] = storage[j];
                leaf->storage_end[j] = storage_end;
                leaf->children[j] = children[j];
            }
            finished += made;
            if (remaining <= 0) {
                return top;
            }
            Navigator::to_next_leaf(path, depth);  // the top tree has a leaf for every two bottom trees
        }
    }

    // Gives back the nodes and buffers of a tree laid out for the same k, h and tuning, in exactly the
    // reverse order of do_layout. Reads only the children and storage_begin of the nodes.
    template <typename NA, typename EA>
    static void destroy(node_type* root, int k, short h, NA& nodes, EA& elems, tuning t)
    {
        if (h < 2) {
            if (root != nullptr) {
                nodes.deallocate(root, 1);
            }
            return;
        }
        typename Splitter::split const s = Splitter::of(k, h, t);
        int const depth = s.top_height - 1;
        node_type* path[Navigator::max_path];
        path[0] = root;
        Navigator::to_last_leaf(path, depth);
        release_bottom_trees(path, depth, s.bottom_count, k, s, nodes, elems, t);
        destroy(root, s.bottom_count, s.top_height, nodes, elems, t);
    }

private:
    static void make_leaf(node_type* n)
    {
        for (int j = 0; j < 2; ++j) {
            n->buffers[j].begin = nullptr;
            n->buffers[j].end = nullptr;
            n->storage_begin[j] = nullptr;
            n->storage_end[j] = nullptr;
            n->children[j] = nullptr;
        }
    }

    // Releases bottom trees count - 1 down to 0 (each with its buffer after it), starting at the
    // top leaf on the path, which holds bottom tree count - 1, and walking leftwards.
    template <typename NA, typename EA>
    static void release_bottom_trees(node_type** path, int depth, std::int32_t count, int k,
                                     typename Splitter::split const& s, NA& nodes, EA& elems, tuning t)
    {
        std::int32_t index = count - 1;
        for (;;) {
            node_type* leaf = path[depth];
            for (int j = index % 2; j >= 0; --j, --index) {
                std::int32_t const inputs = std::min(s.bottom_inputs, k - index * s.bottom_inputs);
                destroy(leaf->children[j], inputs, s.bottom_height, nodes, elems, t);
                if (leaf->storage_begin[j] != nullptr) {
                    elems.deallocate(leaf->storage_begin[j], s.bufsize);
                }
            }
            if (index < 0) {
                return;
            }
            Navigator::to_previous_leaf(path, depth);
        }
    }
};

}  // namespace funnel

#pragma once
// The merge tree object: built once for k input slots, it merges any number of batches of at
// most k sorted runs one after the other (reset in between) and is finally destroyed.
//
// The tree owns its layout (nodes and buffers) and its slot array; the slots only point into the
// runs. With the pool allocator the tree's copies of the allocator and the layout all share one
// pool, and the slot array lies below the whole layout in it: the tree gives the slots back
// first, then the layout.
//
// Merging is lazy: the drivers drain the root's two buffers themselves and ask a root child to
// refill a buffer when it runs empty (fill, fill_leaf); each node in turn refills its own buffers
// from its children only at the moment they run empty. A fresh tree is warmed up first, so that
// an empty buffer always means an exhausted subtree.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "funnel/buffer.hpp"
#include "funnel/tuning.hpp"

namespace funnel {

template <typename T, typename Buffer, typename Layout, typename Merger, typename Splitter, typename Refill>
class merge_tree_base {
public:
    typedef T value_type;
    typedef typename Layout::allocator allocator;
    typedef Layout layout_type;
    typedef Merger merger_type;
    typedef Refill refill_type;
    typedef typename Layout::navigator navigator;
    typedef typename Layout::node_type node_type;
    typedef typename std::allocator_traits<allocator>::template rebind_alloc<Buffer> slot_allocator;
    typedef typename std::allocator_traits<allocator>::template rebind_alloc<node_type> node_allocator;

    // Puts buffer i of a node into the empty state: both pointers at the end of its storage, so
    // that the next flip offers the child the whole block.
    struct buffer_reseter {
        void operator()(node_type& n, int i) const { n.buffers[i] = Buffer{n.storage_end[i], n.storage_end[i]}; }
    };

    std::int32_t input_count;
    bool fresh;  // buffers in the empty state and no merge started since
    node_type* root;
    Buffer* inputs_begin;
    Buffer* inputs_end;  // one past the last slot in use
    tuning setting;      // the tuning the layout was built with, for destroying it
    allocator alloc;
    slot_allocator slot_alloc;
    Merger merger;  // the merge step of every node, with the order it compares in

    // Throws std::invalid_argument("Merge tree too small") for k < 3, and the allocator's
    // failure if the memory cannot be had; either way nothing stays allocated.
    merge_tree_base(std::int32_t k, allocator const& a, tuning t, Merger const& step = Merger())
        : input_count(k), fresh(true), root(nullptr), inputs_begin(nullptr), inputs_end(nullptr), setting(t), alloc(a),
          slot_alloc(a), merger(step)
    {
        construct(k);
    }

    merge_tree_base(merge_tree_base const&) = delete;
    merge_tree_base& operator=(merge_tree_base const&) = delete;

    virtual ~merge_tree_base()
    {
        slot_alloc.deallocate(inputs_begin, static_cast<std::size_t>(input_count));
        node_allocator nodes(alloc);
        allocator elems(alloc);
        Layout::destroy(root, input_count, height(input_count), nodes, elems, setting);
    }

    // Appends one sorted run [begin, end) as the next input of the batch. The drivers set
    // inputs_end = inputs_begin before the first run of a batch.
    void add_input(T* begin, T* end)
    {
        if (inputs_end - inputs_begin >= input_count) {
            throw std::out_of_range("merge tree: every input slot is in use");
        }
        *inputs_end = Buffer{begin, end};
        ++inputs_end;
    }

    // Prepares a used tree for the next batch: the slots of the last batch become empty runs,
    // every buffer goes to the empty state (which also restores write views a short write had
    // shrunk), and the tree is fresh again.
    void reset()
    {
        for (Buffer* slot = inputs_begin; slot != inputs_end; ++slot) {
            *slot = Buffer();
        }
        navigator::enum_buffers(root, buffer_reseter());
        fresh = true;
    }

protected:
    void construct(std::int32_t k)
    {
        if (k < 3) {
            throw std::invalid_argument("Merge tree too small");
        }
        std::int16_t const h = height(k);
        {
            node_allocator nodes(alloc);
            allocator elems(alloc);
            root = Layout::do_layout(k, h, true, nodes, elems, setting);
        }
        try {
            inputs_begin = slot_alloc.allocate(static_cast<std::size_t>(k));
        } catch (...) {
            node_allocator nodes(alloc);
            allocator elems(alloc);
            Layout::destroy(root, k, h, nodes, elems, setting);
            root = nullptr;
            throw;
        }
        inputs_end = inputs_begin;
        std::uninitialized_fill_n(inputs_begin, k, Buffer());
    }
};

template <typename T, typename Buffer, typename Layout, typename Merger, typename Splitter, typename Refill>
class rec_merge_tree : public merge_tree_base<T, Buffer, Layout, Merger, Splitter, Refill> {
    typedef merge_tree_base<T, Buffer, Layout, Merger, Splitter, Refill> base;

public:
    typedef typename base::allocator allocator;
    typedef typename base::node_type node_type;

    std::int32_t first_leaf;  // bfs_index of the leftmost leaf

    rec_merge_tree(std::int32_t k, allocator const& a, tuning t, Merger const& step = Merger())
        : base(k, a, t, step), first_leaf(leftmost_leaf(height(k)))
    {
    }

    ~rec_merge_tree() override = default;

    // Fills out from the subtree of the internal node n (breadth-first index x), refilling a
    // buffer of n from its child the moment it runs empty. Returns when out is full or the
    // subtree is exhausted; out.begin then points just past the last element written.
    void fill(node_type* n, Buffer* out, bfs_index<2> x)
    {
        for (;;) {
            int const r = this->merger.merge(*out, n->buffers, x);
            if (r == Merger::none) {
                return;
            }
            refill(n, r, x);
        }
    }

    // One merge step of the leaf x from its two input slots into out. The leaf stops when one of
    // its runs is used up, even with room left; its parent takes what it wrote and asks again.
    void fill_leaf(Buffer* out, bfs_index<2> x)
    {
        std::ptrdiff_t const first_slot = 2 * static_cast<std::ptrdiff_t>(x - first_leaf);
        std::ptrdiff_t const in_use = (this->inputs_end - this->inputs_begin) - first_slot;
        if (in_use <= 0) {
            return;  // no run of this batch reaches this leaf
        }
        Buffer* const p = this->inputs_begin + first_slot;
        if (in_use >= 2) {
            // The common case: both runs lie in the slot array, which serves as the input pair.
            T* const before[2] = {p[0].begin, p[1].begin};
            Refill::refill(p, this->merger.merge(*out, p, x));
            Refill::advanced(p, before, 2);
            return;
        }
        // A single run: the leaf merges it with an empty one.
        Buffer runs[2] = {p[0], Buffer()};
        T* const before[1] = {p[0].begin};
        Refill::refill(runs, this->merger.merge(*out, runs, x));
        Refill::advanced(runs, before, 1);
        p[0].begin = runs[0].begin;
    }

    // Fills every buffer of a fresh (built or reset) subtree once, bottom up, then fills out.
    // Leaves without a run in this batch write nothing, so their buffers stay empty.
    void warmup(node_type* n, Buffer* out, bfs_index<2> x)
    {
        if (n->is_leaf()) {
            fill_leaf(out, x);
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (n->children[i] != nullptr) {
                n->flip(i);
                warmup(n->children[i], &n->buffers[i], bfs_child(x, i));
                n->flip(i);
            }
        }
        fill(n, out, x);
    }

private:
    // Lets child i of n write into buffer i: flip to the write view, fill, flip back to the read
    // view of what was written. A child that writes nothing leaves the buffer empty for good.
    void refill(node_type* n, int i, bfs_index<2> x)
    {
        n->flip(i);
        // A leaf is known by its index: fill_leaf reads only the slots, so the leaf node itself is
        // never loaded.
        bfs_index<2> const c = bfs_child(x, i);
        if (c >= first_leaf) {
            fill_leaf(&n->buffers[i], c);
        } else {
            fill(n->children[i], &n->buffers[i], c);
        }
        n->flip(i);
    }

    // 2^(h-1) for h >= 1, 1 otherwise: all leaves lie on the bottom level.
    static std::int32_t leftmost_leaf(std::int16_t h)
    {
        std::int32_t index = 1;
        for (std::int16_t level = 1; level < h; ++level) {
            index *= 2;
        }
        return index;
    }
};

// The tree type Tree with its leaves' refill policy replaced by Refill.
template <typename Tree, typename Refill>
struct with_refill;

template <typename T, typename Buffer, typename Layout, typename Merger, typename Splitter, typename Old, typename Refill>
struct with_refill<rec_merge_tree<T, Buffer, Layout, Merger, Splitter, Old>, Refill> {
    using type = rec_merge_tree<T, Buffer, Layout, Merger, Splitter, Refill>;
};

}  // namespace funnel

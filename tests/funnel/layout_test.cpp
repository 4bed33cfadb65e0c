#include "funnel/layout.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "alloc/stack_allocator.hpp"
#include "funnel/buffer.hpp"
#include "funnel/navigator.hpp"
#include "funnel/splitter.hpp"
#include "items/element.hpp"
#include "tests/support/benchmark_tuning.hpp"
#include "tests/funnel/failing_allocator.hpp"

namespace {

using node = funnel::pointer_flip_node<2, element*>;
using splitter = funnel::my_splitter<2>;
using navigator = funnel::pointer_flip_navigator<node, splitter>;
template <typename A>
using layout = funnel::mixed_veb_layout<navigator, splitter, element, A>;
using pool_layout = layout<stack_allocator<element>>;
using heap_layout = layout<std::allocator<element>>;

using Layout = benchmark_tuning;

// The size of the buffer above a node at depth `depth` (1 or more) of a tree of height h, found
// by following the recursive cut down to the boundary that the edge crosses.
std::uint64_t expected_bufsize(int depth, short h)
{
    short const t = static_cast<short>(h / 2);
    short const b = static_cast<short>(h - t);
    if (depth == t) {
        return splitter::bufsize(b, funnel::default_tuning);
    }
    return depth < t ? expected_bufsize(depth, t) : expected_bufsize(depth - t, b);
}

struct shape {
    int nodes = 0;
    int leaves = 0;
    int buffers = 0;
};

// Checks one laid-out subtree: leaves at the bottom level and nowhere else, children only where
// the tree has inputs, every buffer empty at its storage end, of the right size, all zero.
void check_subtree(node const* n, int depth, short h, shape& counted)
{
    ++counted.nodes;
    if (depth == h - 1) {
        ++counted.leaves;
        for (int j = 0; j < 2; ++j) {
            ASSERT_EQ(n->children[j], nullptr);
            ASSERT_EQ(n->buffers[j].begin, nullptr);
            ASSERT_EQ(n->buffers[j].end, nullptr);
        }
        return;
    }
    ASSERT_NE(n->children[0], nullptr) << "internal node without a first child at depth " << depth;
    for (int j = 0; j < 2; ++j) {
        if (n->children[j] == nullptr) {
            ASSERT_EQ(n->storage_begin[j], nullptr);
            ASSERT_EQ(n->buffers[j].begin, nullptr);
            ASSERT_EQ(n->buffers[j].end, nullptr);
            continue;
        }
        ++counted.buffers;
        ASSERT_EQ(static_cast<std::uint64_t>(n->storage_end[j] - n->storage_begin[j]), expected_bufsize(depth + 1, h));
        ASSERT_EQ(n->buffers[j].begin, n->storage_end[j]);
        ASSERT_EQ(n->buffers[j].end, n->storage_end[j]);
        for (element const* e = n->storage_begin[j]; e != n->storage_end[j]; ++e) {
            ASSERT_TRUE(e->key == 0 && e->payload == nullptr);
        }
        check_subtree(n->children[j], depth + 1, h, counted);
    }
}

// The number of nodes of a tree for k inputs: every leaf position with an input and its ancestors.
int expected_nodes(int k, short h)
{
    int total = 0;
    for (int level = h - 1, width = (k + 1) / 2; level >= 0; --level, width = (width + 1) / 2) {
        total += width;
    }
    return total;
}

TEST_F(Layout, SizesMatchTheWorkedValues)
{
    EXPECT_EQ(pool_layout::size_of(3, 1, funnel::default_tuning), 80u);
    EXPECT_EQ(pool_layout::size_of(1000, 0, funnel::default_tuning), 80u);
    EXPECT_EQ(pool_layout::size_of(3, 2, funnel::default_tuning), 880u);
    EXPECT_EQ(pool_layout::size_of(4, 2, funnel::default_tuning), 880u);
    EXPECT_EQ(pool_layout::size_of(5, 3, funnel::default_tuning), 5536u);
    EXPECT_EQ(pool_layout::size_of(16, 4, funnel::default_tuning), 12592u);
    EXPECT_EQ(pool_layout::size_of(64, 6, funnel::default_tuning), 146096u);
    EXPECT_EQ(pool_layout::size_of(187, 8, funnel::default_tuning), 944272u);
    EXPECT_EQ(heap_layout::size_of(187, 8, funnel::default_tuning), 944272u);
}

// The pool boundary is the measure: do_layout must take exactly size_of bytes, and destroy must
// give every one of them back.
TEST_F(Layout, SizeOfIsWhatTheLayoutTakesFromAPool)
{
#ifdef KIT_SANITIZED_BUILD
    int const stride = 37;
#else
    int const stride = 1;
#endif
    int const largest = 1100;
    stack_allocator<element> elems(pool_layout::size_of(largest, funnel::height(largest), funnel::default_tuning) + 1024);
    stack_allocator<node> nodes(elems);
    char* const start = elems.pool()->top;
    for (int k = 3; k <= largest; k += (k < 300 ? 1 : stride)) {
        short const h = funnel::height(k);
        node* root = pool_layout::do_layout(k, h, true, nodes, elems, funnel::default_tuning);
        ASSERT_EQ(static_cast<std::uint64_t>(start - elems.pool()->top), pool_layout::size_of(k, h, funnel::default_tuning)) << k;
        ASSERT_EQ(reinterpret_cast<char*>(root), start - sizeof(node)) << k;
        pool_layout::destroy(root, k, h, nodes, elems, funnel::default_tuning);
        ASSERT_EQ(elems.pool()->top, start) << k;
    }
}

TEST_F(Layout, TreesHaveTheirNodesBuffersAndEmptyState)
{
    for (int k : {3, 4, 5, 7, 16, 17, 33, 100, 129, 300}) {
        short const h = funnel::height(k);
        std::allocator<node> nodes;
        std::allocator<element> elems;
        node* root = heap_layout::do_layout(k, h, true, nodes, elems, funnel::default_tuning);
        shape counted;
        check_subtree(root, 0, h, counted);
        EXPECT_EQ(counted.leaves, (k + 1) / 2) << k;
        EXPECT_EQ(counted.nodes, expected_nodes(k, h)) << k;
        EXPECT_EQ(counted.buffers, counted.nodes - 1) << k;
        heap_layout::destroy(root, k, h, nodes, elems, funnel::default_tuning);
    }
    EXPECT_EQ(expected_nodes(16, 4), 15);
    EXPECT_EQ(expected_nodes(5, 3), 6);
}

// k = 5: root; buffer of 128; A; buffer of 20; L1; buffer of 20; L2; buffer of 128; B; buffer
// of 20; L3 -- each directly below the previous one in the pool.
TEST_F(Layout, FiveInputsAreLaidOutInRecursiveOrder)
{
    stack_allocator<element> elems(pool_layout::size_of(5, 3, funnel::default_tuning));
    stack_allocator<node> nodes(elems);
    char* at = elems.pool()->top;
    node* root = pool_layout::do_layout(5, 3, true, nodes, elems, funnel::default_tuning);

    auto expect_node = [&at](node const* n) {
        at -= sizeof(node);
        EXPECT_EQ(reinterpret_cast<char const*>(n), at);
    };
    auto expect_buffer = [&at](node const* parent, int j, std::uint64_t size) {
        at -= size * sizeof(element);
        EXPECT_EQ(reinterpret_cast<char const*>(parent->storage_begin[j]), at);
        EXPECT_EQ(static_cast<std::uint64_t>(parent->storage_end[j] - parent->storage_begin[j]), size);
    };
    node* a = root->children[0];
    node* b = root->children[1];
    expect_node(root);
    expect_buffer(root, 0, 128);
    expect_node(a);
    expect_buffer(a, 0, 20);
    expect_node(a->children[0]);
    expect_buffer(a, 1, 20);
    expect_node(a->children[1]);
    expect_buffer(root, 1, 128);
    expect_node(b);
    expect_buffer(b, 0, 20);
    expect_node(b->children[0]);
    EXPECT_EQ(at, elems.pool()->limit);

    EXPECT_EQ(b->children[1], nullptr);
    EXPECT_EQ(b->storage_begin[1], nullptr);
    EXPECT_EQ(b->buffers[1].begin, nullptr);
    EXPECT_EQ(b->buffers[1].end, nullptr);

    pool_layout::destroy(root, 5, 3, nodes, elems, funnel::default_tuning);
    EXPECT_EQ(elems.pool()->top, elems.pool()->limit + pool_layout::size_of(5, 3, funnel::default_tuning));
}

TEST_F(Layout, RefusesMoreInputsThanTheHeightHolds)
{
    allocation_log log;
    failing_allocator<node> nodes(&log);
    failing_allocator<element> elems(&log);
    EXPECT_THROW(layout<failing_allocator<element>>::do_layout(9, 3, true, nodes, elems, funnel::default_tuning), std::invalid_argument);
    EXPECT_EQ(log.requests, 0);
}

// When the N-th allocation fails, every block the layout took before it is given back, newest
// first, for every N.
TEST_F(Layout, FailedAllocationGivesBackEverythingInReverse)
{
    using failing_layout = layout<failing_allocator<element>>;
    for (int k : {3, 4, 5, 9, 16, 37, 130}) {
        short const h = funnel::height(k);
        allocation_log counting;
        {
            failing_allocator<node> nodes(&counting);
            failing_allocator<element> elems(&counting);
            node* root = failing_layout::do_layout(k, h, true, nodes, elems, funnel::default_tuning);
            failing_layout::destroy(root, k, h, nodes, elems, funnel::default_tuning);
        }
        ASSERT_EQ(counting.out_of_order, 0) << k;
        ASSERT_TRUE(counting.live.empty()) << k;

        for (int n = 1; n <= counting.requests; ++n) {
            allocation_log log;
            log.fail_at = n;
            failing_allocator<node> nodes(&log);
            failing_allocator<element> elems(&log);
            EXPECT_THROW(failing_layout::do_layout(k, h, true, nodes, elems, funnel::default_tuning), std::bad_alloc) << k << " " << n;
            ASSERT_EQ(log.requests, n) << k;
            ASSERT_TRUE(log.live.empty()) << "k " << k << ", failing request " << n;
            ASSERT_EQ(log.out_of_order, 0) << "k " << k << ", failing request " << n;
        }
    }
}

TEST_F(Layout, PoolTooSmallByOneByteLeavesItsBoundary)
{
    for (int k : {3, 5, 16, 100}) {
        short const h = funnel::height(k);
        stack_allocator<element> elems(pool_layout::size_of(k, h, funnel::default_tuning) - 1);
        stack_allocator<node> nodes(elems);
        char* const start = elems.pool()->top;
        try {
            pool_layout::do_layout(k, h, true, nodes, elems, funnel::default_tuning);
            ADD_FAILURE() << "the layout fitted a pool one byte too small, k " << k;
        } catch (stack_allocator_head::stack_bad_alloc const& e) {
            EXPECT_STREQ(e.what(), "stack_allocator: ran out of pool space");
        }
        EXPECT_EQ(elems.pool()->top, start) << k;
    }
}

}  // namespace

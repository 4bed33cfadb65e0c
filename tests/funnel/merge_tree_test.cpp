#include "funnel/merge_tree.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "alloc/stack_allocator.hpp"
#include "funnel/element_trees.hpp"
#include "items/element.hpp"
#include "tests/support/benchmark_tuning.hpp"
#include "tests/funnel/failing_allocator.hpp"

namespace {

using funnel::heap_element_tree;
using funnel::stack_element_tree;
using range = funnel::buffer<element*>;
using node = funnel::pointer_flip_node<2, element*>;
using pool_layout = stack_element_tree::layout_type;
using failing_tree = funnel::element_tree<failing_allocator<element>>;

using MergeTree = benchmark_tuning;

// What a tree for k inputs takes from a pool: its layout and k slots of two pointers.
std::uint64_t tree_bytes(int k) { return pool_layout::size_of(k, funnel::height(k), funnel::default_tuning) + sizeof(range) * k; }

TEST_F(MergeTree, PoolTreeObjectIsSeventyTwoBytes)
{
    // The pool estimate of the drivers reserves this much per level tree object.
    EXPECT_EQ(sizeof(stack_element_tree), 72u);
    static_assert(std::is_same<stack_element_tree::allocator, stack_allocator<element>>::value, "");
    static_assert(std::is_same<heap_element_tree::allocator, std::allocator<element>>::value, "");
}

TEST_F(MergeTree, FewerThanThreeInputsIsRefusedBeforeAnyAllocation)
{
    stack_allocator<element> pool(4096);
    char* const start = pool.pool()->top;
    for (int k : {2, 1, 0, -5}) {
        try {
            stack_element_tree tree(k, pool, funnel::default_tuning);
            ADD_FAILURE() << "built a tree for " << k << " inputs";
        } catch (std::invalid_argument const& e) {
            EXPECT_STREQ(e.what(), "Merge tree too small");
        }
        EXPECT_EQ(pool.pool()->top, start);
        EXPECT_EQ(pool.pool()->ref_count, 1);
    }
    EXPECT_THROW(heap_element_tree(2, std::allocator<element>(), funnel::default_tuning), std::invalid_argument);
}

TEST_F(MergeTree, ThreeInputsMakeOneRootOverTwoLeaves)
{
    stack_allocator<element> pool(tree_bytes(3));
    char* const start = pool.pool()->top;
    {
        stack_element_tree tree(3, pool, funnel::default_tuning);
        EXPECT_EQ(tree.input_count, 3);
        EXPECT_TRUE(tree.fresh);
        EXPECT_EQ(tree.first_leaf, 2);
        EXPECT_EQ(reinterpret_cast<char*>(tree.root), start - sizeof(node));
        for (int j = 0; j < 2; ++j) {
            ASSERT_NE(tree.root->children[j], nullptr);
            EXPECT_TRUE(tree.root->children[j]->is_leaf());
            EXPECT_EQ(tree.root->storage_end[j] - tree.root->storage_begin[j], 20);
        }
        // The slots lie below the whole layout, all empty, none in use.
        EXPECT_EQ(reinterpret_cast<char*>(tree.inputs_begin), pool.pool()->limit);
        EXPECT_EQ(tree.inputs_end, tree.inputs_begin);
        for (int s = 0; s < 3; ++s) {
            EXPECT_EQ(tree.inputs_begin[s].begin, nullptr);
            EXPECT_EQ(tree.inputs_begin[s].end, nullptr);
        }
        EXPECT_EQ(pool.pool()->ref_count, 3);  // the caller's copy, alloc and slot_alloc
    }
    EXPECT_EQ(pool.pool()->top, start);
    EXPECT_EQ(pool.pool()->ref_count, 1);
}

TEST_F(MergeTree, FirstLeafIsTheLeftmostBottomIndex)
{
    std::allocator<element> heap;
    EXPECT_EQ(heap_element_tree(4, heap, funnel::default_tuning).first_leaf, 2);
    EXPECT_EQ(heap_element_tree(5, heap, funnel::default_tuning).first_leaf, 4);
    EXPECT_EQ(heap_element_tree(8, heap, funnel::default_tuning).first_leaf, 4);
    EXPECT_EQ(heap_element_tree(9, heap, funnel::default_tuning).first_leaf, 8);
    EXPECT_EQ(heap_element_tree(129, heap, funnel::default_tuning).first_leaf, 128);
}

TEST_F(MergeTree, AddInputFillsSlotsInOrderUpToK)
{
    std::vector<element> data(10);
    heap_element_tree tree(3, std::allocator<element>(), funnel::default_tuning);
    tree.add_input(data.data(), data.data() + 4);
    tree.add_input(data.data() + 4, data.data() + 4);
    tree.add_input(data.data() + 4, data.data() + 10);
    EXPECT_EQ(tree.inputs_end - tree.inputs_begin, 3);
    EXPECT_EQ(tree.inputs_begin[0].end, data.data() + 4);
    EXPECT_EQ(tree.inputs_begin[2].begin, data.data() + 4);
    EXPECT_THROW(tree.add_input(data.data(), data.data() + 1), std::out_of_range);
    EXPECT_EQ(tree.inputs_end - tree.inputs_begin, 3);
}

// Disturbs every buffer and slot as a drain would, then checks that reset restores the state a
// fresh tree has.
TEST_F(MergeTree, ResetRestoresEmptyBuffersAndSlots)
{
    std::vector<element> data(6);
    heap_element_tree tree(37, std::allocator<element>(), funnel::default_tuning);
    tree.add_input(data.data(), data.data() + 3);
    tree.add_input(data.data() + 3, data.data() + 6);
    tree.fresh = false;

    std::vector<node*> internal{tree.root};
    for (std::size_t i = 0; i < internal.size(); ++i) {
        node* n = internal[i];
        for (int j = 0; j < 2; ++j) {
            if (n->children[j] != nullptr) {
                n->buffers[j] = range{n->storage_begin[j] + 1, n->storage_begin[j] + 2};
                if (!n->children[j]->is_leaf()) {
                    internal.push_back(n->children[j]);
                }
            }
        }
    }
    ASSERT_GT(internal.size(), 10u);

    tree.reset();
    EXPECT_TRUE(tree.fresh);
    for (node* n : internal) {
        for (int j = 0; j < 2; ++j) {
            if (n->children[j] != nullptr) {
                EXPECT_EQ(n->buffers[j].begin, n->storage_end[j]);
                EXPECT_EQ(n->buffers[j].end, n->storage_end[j]);
            }
        }
    }
    EXPECT_EQ(tree.inputs_begin[0].begin, nullptr);
    EXPECT_EQ(tree.inputs_begin[1].end, nullptr);
}

TEST_F(MergeTree, BuildResetAndDestroyReturnThePoolExactly)
{
    stack_allocator<element> pool(tree_bytes(700));
    char* const start = pool.pool()->top;
    std::vector<element> data(10);
    for (int k = 3; k <= 700; k += (k < 40 ? 1 : 23)) {
        {
            stack_element_tree tree(k, pool, funnel::default_tuning);
            ASSERT_EQ(static_cast<std::uint64_t>(start - pool.pool()->top), tree_bytes(k)) << k;
            tree.add_input(data.data(), data.data() + 10);
            tree.fresh = false;
            tree.reset();
            tree.inputs_end = tree.inputs_begin;
        }
        ASSERT_EQ(pool.pool()->top, start) << k;
        ASSERT_EQ(pool.pool()->ref_count, 1) << k;
    }
}

// Level trees live in pool memory next to each other, built in place and destroyed in reverse.
TEST_F(MergeTree, TreesBuiltInPoolMemoryComeBackInReverse)
{
    int const inputs[] = {23, 7, 3};
    stack_allocator<element> pool(3 * sizeof(stack_element_tree) + tree_bytes(23) + tree_bytes(7) + tree_bytes(3));
    char* const start = pool.pool()->top;
    {
        stack_allocator<stack_element_tree> objects(pool);
        stack_element_tree* trees = objects.allocate(3);
        for (int j = 0; j < 3; ++j) {
            ::new (static_cast<void*>(trees + j)) stack_element_tree(inputs[j], pool, funnel::default_tuning);
        }
        EXPECT_EQ(pool.pool()->top, pool.pool()->limit);
        for (int j = 2; j >= 0; --j) {
            trees[j].~stack_element_tree();
        }
        objects.deallocate(trees, 3);
    }
    EXPECT_EQ(pool.pool()->top, start);
    EXPECT_EQ(pool.pool()->ref_count, 1);
}

TEST_F(MergeTree, SlotArrayThatDoesNotFitGivesTheLayoutBack)
{
    for (int k : {3, 5, 16, 100}) {
        stack_allocator<element> pool(tree_bytes(k) - 1);
        char* const start = pool.pool()->top;
        try {
            stack_element_tree tree(k, pool, funnel::default_tuning);
            ADD_FAILURE() << "built in a pool one byte too small, k " << k;
        } catch (stack_allocator_head::stack_bad_alloc const& e) {
            EXPECT_STREQ(e.what(), "stack_allocator: ran out of pool space");
        }
        EXPECT_EQ(pool.pool()->top, start) << k;
        EXPECT_EQ(pool.pool()->ref_count, 1) << k;
    }
}

TEST_F(MergeTree, PoollessAllocatorFailsWithItsMessage)
{
    stack_allocator<element> none(0);
    try {
        stack_element_tree tree(3, none, funnel::default_tuning);
        ADD_FAILURE() << "built a tree without a pool";
    } catch (stack_allocator_head::stack_bad_alloc const& e) {
        EXPECT_EQ(std::string(e.what()),
                  "stack_allocator: allocating from deallocated allocator (don't dynamically allocate allocators)");
    }
}

// The N-th request fails, for every N up to the slot array: nothing stays allocated and every
// release is of the newest block.
TEST_F(MergeTree, AnyFailedRequestLeavesNothingBehind)
{
    for (int k : {3, 6, 33}) {
        allocation_log counting;
        {
            failing_tree tree(k, failing_allocator<element>(&counting), funnel::default_tuning);
        }
        ASSERT_TRUE(counting.live.empty());
        for (int n = 1; n <= counting.requests; ++n) {
            allocation_log log;
            log.fail_at = n;
            EXPECT_THROW(failing_tree(k, failing_allocator<element>(&log), funnel::default_tuning), std::bad_alloc);
            ASSERT_TRUE(log.live.empty()) << "k " << k << ", failing request " << n;
            ASSERT_EQ(log.out_of_order, 0) << "k " << k << ", failing request " << n;
        }
    }
}

}  // namespace

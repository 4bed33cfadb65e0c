#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "alloc/stack_allocator.hpp"
#include "funnel/element_trees.hpp"
#include "items/element.hpp"
#include "tests/support/benchmark_tuning.hpp"
#include "tests/funnel/drain.hpp"

namespace {

using funnel::heap_element_tree;
using funnel::stack_element_tree;
using range = funnel::buffer<element*>;

using Fill = benchmark_tuning;

// Payloads name where an element came from: run number and position in the run.
constexpr std::uintptr_t per_run = 1u << 20;

void* origin(std::size_t run, std::size_t position) { return reinterpret_cast<void*>(run * per_run + position); }

std::size_t run_of(element const& e) { return reinterpret_cast<std::uintptr_t>(e.payload) / per_run; }

std::vector<std::uint64_t> keys_of(std::vector<element> const& v)
{
    std::vector<std::uint64_t> keys;
    for (element const& e : v) {
        keys.push_back(e.key);
    }
    return keys;
}

// A batch of sorted runs, stored end to end as the drivers keep them.
struct batch {
    std::vector<element> data;
    std::vector<std::size_t> starts;  // run i is [starts[i], starts[i + 1])

    explicit batch(std::vector<std::vector<std::uint64_t>> const& runs)
    {
        for (std::size_t r = 0; r < runs.size(); ++r) {
            starts.push_back(data.size());
            for (std::size_t i = 0; i < runs[r].size(); ++i) {
                data.push_back(element{runs[r][i], origin(r, i)});
            }
        }
        starts.push_back(data.size());
    }

    template <typename Tree>
    void load(Tree& tree)
    {
        tree.inputs_end = tree.inputs_begin;
        for (std::size_t r = 0; r + 1 < starts.size(); ++r) {
            tree.add_input(data.data() + starts[r], data.data() + starts[r + 1]);
        }
    }

    // Ascending keys; among equal keys the higher run first, and within a run in run order.
    std::vector<element> expected() const
    {
        std::vector<element> all = data;
        std::sort(all.begin(), all.end(), [](element const& a, element const& b) {
            std::uintptr_t const pa = reinterpret_cast<std::uintptr_t>(a.payload);
            std::uintptr_t const pb = reinterpret_cast<std::uintptr_t>(b.payload);
            return std::make_tuple(a.key, pb / per_run, pa % per_run) < std::make_tuple(b.key, pa / per_run, pb % per_run);
        });
        return all;
    }
};

template <typename Tree>
std::vector<element> merge_once(Tree& tree, batch& b)
{
    if (!tree.fresh) {
        tree.reset();
    }
    b.load(tree);
    warm_up(tree);
    return drain(tree, b.data.size());
}

void expect_same_order(std::vector<element> const& got, std::vector<element> const& want, int k)
{
    ASSERT_EQ(got.size(), want.size()) << "k " << k;
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_TRUE(got[i].key == want[i].key && got[i].payload == want[i].payload)
            << "k " << k << ", position " << i << ": got " << got[i] << ", want " << want[i];
    }
}

TEST_F(Fill, ThreeRunsMergeIntoOne)
{
    batch b({{1, 4}, {2, 3}, {0}});
    heap_element_tree heap(3, std::allocator<element>(), funnel::default_tuning);
    EXPECT_EQ(keys_of(merge_once(heap, b)), (std::vector<std::uint64_t>{0, 1, 2, 3, 4}));

    stack_allocator<element> pool(1 << 16);
    stack_element_tree stack(3, pool, funnel::default_tuning);
    EXPECT_EQ(keys_of(merge_once(stack, b)), (std::vector<std::uint64_t>{0, 1, 2, 3, 4}));
}

TEST_F(Fill, EqualKeysLeaveInDescendingRunOrder)
{
    for (int k : {3, 7, 16, 37}) {
        std::vector<std::vector<std::uint64_t>> runs(k, std::vector<std::uint64_t>(30, 9));
        batch b(runs);
        heap_element_tree tree(k, std::allocator<element>(), funnel::default_tuning);
        std::vector<element> const out = merge_once(tree, b);
        ASSERT_EQ(out.size(), 30u * k);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(run_of(out[i]), static_cast<std::size_t>(k - 1) - i / 30) << "k " << k << ", position " << i;
        }
    }
}

// k = 3: the root's child 0 is the leaf over runs 0 and 1, below a buffer of 20.
TEST_F(Fill, LeafFillsItsBufferInPiecesOfTheRoom)
{
    std::vector<std::uint64_t> thirty(30);
    for (std::uint64_t i = 0; i < 30; ++i) {
        thirty[i] = i;
    }
    batch b({thirty, {}, {100}});
    heap_element_tree tree(3, std::allocator<element>(), funnel::default_tuning);
    b.load(tree);
    warm_up(tree);
    range& buffer0 = tree.root->buffers[0];
    EXPECT_EQ(buffer0.end - buffer0.begin, 20);
    buffer0.begin = buffer0.end;
    refill_root_buffer(tree, 0);
    EXPECT_EQ(buffer0.end - buffer0.begin, 10);
    EXPECT_EQ(buffer0.begin->key, 20u);
    buffer0.begin = buffer0.end;
    refill_root_buffer(tree, 0);
    EXPECT_EQ(buffer0.end - buffer0.begin, 0);
}

// A leaf stops when one run ends; the shorter write then limits every later refill of that
// buffer until the next reset.
TEST_F(Fill, ShortWriteShrinksTheBufferUntilReset)
{
    batch b({{5, 6, 7}, {1}, {3}});
    heap_element_tree tree(3, std::allocator<element>(), funnel::default_tuning);
    b.load(tree);
    warm_up(tree);
    range& buffer0 = tree.root->buffers[0];
    ASSERT_EQ(buffer0.end - buffer0.begin, 1);
    EXPECT_EQ(buffer0.begin->key, 1u);
    for (std::uint64_t key : {5u, 6u, 7u}) {
        buffer0.begin = buffer0.end;
        refill_root_buffer(tree, 0);
        ASSERT_EQ(buffer0.end - buffer0.begin, 1);
        EXPECT_EQ(buffer0.begin->key, key);
    }
    buffer0.begin = buffer0.end;
    refill_root_buffer(tree, 0);
    EXPECT_EQ(buffer0.end, buffer0.begin);

    // After a reset the full storage is offered again.
    batch next({{1, 2, 3, 4, 5, 6}, {}, {}});
    tree.reset();
    next.load(tree);
    warm_up(tree);
    EXPECT_EQ(tree.root->buffers[0].end - tree.root->buffers[0].begin, 6);
}

TEST_F(Fill, FewerRunsThanSlotsLeaveTheRestOfTheTreeEmpty)
{
    stack_allocator<element> pool(1 << 20);
    stack_element_tree tree(16, pool, funnel::default_tuning);
    batch b({{4, 8}, {1}, {7, 7, 7}, {}, {2, 3}});
    b.load(tree);
    warm_up(tree);
    // Leaves 10 to 15 (slots 6 to 15) have no run: the right half of the tree produced nothing.
    EXPECT_EQ(tree.root->buffers[1].begin, tree.root->buffers[1].end);
    expect_same_order(drain(tree, b.data.size()), b.expected(), 16);

    // Drained, every subtree is exhausted: a further fill writes nothing.
    element space[8];
    range out{space, space + 8};
    tree.fill(tree.root->children[0], &out, 2);
    EXPECT_EQ(out.begin, space);
    tree.fill_leaf(&out, tree.first_leaf + 7);  // a leaf past the last run
    EXPECT_EQ(out.begin, space);
}

// Random batches: many run counts, lengths (empty runs included) and key ranges (heavy
// duplicates included), merged by one reused tree per k in the pool and on the heap.
TEST_F(Fill, RandomBatchesMergeExactlyAndReuseAfterReset)
{
#ifdef KIT_SANITIZED_BUILD
    std::vector<int> const ks = {3, 4, 5, 6, 9, 17, 33, 100, 187};
    int const batches = 2;
#else
    std::vector<int> ks;
    for (int k = 3; k <= 40; ++k) {
        ks.push_back(k);
    }
    for (int k : {63, 64, 65, 100, 129, 187, 256, 300}) {
        ks.push_back(k);
    }
    int const batches = 3;
#endif
    std::mt19937_64 random(2024);
    for (int k : ks) {
        std::uint64_t const pool_bytes =
            stack_element_tree::layout_type::size_of(k, funnel::height(k), funnel::default_tuning) + sizeof(range) * k;
        stack_allocator<element> pool(pool_bytes);
        stack_element_tree stack(k, pool, funnel::default_tuning);
        heap_element_tree heap(k, std::allocator<element>(), funnel::default_tuning);
        for (int round = 0; round < batches; ++round) {
            std::uniform_int_distribution<int> run_count(1, k);
            std::uniform_int_distribution<int> length(0, round == 1 ? 40 : 1500);
            std::uint64_t const key_span = round == 0 ? 20 : ~std::uint64_t{0};
            std::uniform_int_distribution<std::uint64_t> key(0, key_span);

            std::vector<std::vector<std::uint64_t>> runs(round == 2 ? k : run_count(random));
            for (auto& run : runs) {
                run.resize(random() % 5 == 0 ? 0 : length(random));
                for (auto& x : run) {
                    x = key(random);
                }
                std::sort(run.begin(), run.end());
            }
            batch b(runs);
            std::vector<element> const want = b.expected();
            expect_same_order(merge_once(stack, b), want, k);
            expect_same_order(merge_once(heap, b), want, k);
        }
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "funnel/buffer.hpp"
#include "funnel/merger.hpp"
#include "funnel/navigator.hpp"
#include "funnel/splitter.hpp"
#include "items/element.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using node = funnel::pointer_flip_node<2, element*>;
using range = funnel::buffer<element*>;
using merger = funnel::simple_merger<2, range, element>;
using splitter = funnel::my_splitter<2>;
using navigator = funnel::pointer_flip_navigator<node, splitter>;

constexpr int none = merger::none;

// Elements with the given keys; the payload records the position so that order can be traced.
std::vector<element> run_of(std::vector<std::uint64_t> const& keys, std::uintptr_t tag = 0)
{
    std::vector<element> run;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        run.push_back(element{keys[i], reinterpret_cast<void*>((tag << 20) + i)});
    }
    return run;
}

range whole(std::vector<element>& v) { return range{v.data(), v.data() + v.size()}; }

TEST(Node, IsTenPointersAndFlipsBetweenViews)
{
    static_assert(sizeof(node) == 80, "a two-way node over element* is ten pointers");
    element storage[8];
    node n{};
    n.storage_begin[1] = storage;
    n.storage_end[1] = storage + 8;
    n.buffers[1] = range{storage + 8, storage + 8};  // the empty state

    n.flip(1);  // the child is offered the whole block
    EXPECT_EQ(n.buffers[1].begin, storage);
    EXPECT_EQ(n.buffers[1].end, storage + 8);
    n.buffers[1].begin = storage + 3;  // the child wrote three elements
    n.flip(1);
    EXPECT_EQ(n.buffers[1].begin, storage);
    EXPECT_EQ(n.buffers[1].end, storage + 3);

    n.buffers[1].begin = storage + 3;  // consumed: (x, x) with x = storage + 3
    n.flip(1);                          // the next write view is limited to the last contents
    EXPECT_EQ(n.buffers[1].begin, storage);
    EXPECT_EQ(n.buffers[1].end, storage + 3);
    EXPECT_EQ(n.buffers[0].begin, nullptr);  // the other position is untouched
}

TEST(Height, IsTheBitLengthOfKMinusOne)
{
    EXPECT_EQ(funnel::height(2), 1);
    EXPECT_EQ(funnel::height(3), 2);
    EXPECT_EQ(funnel::height(4), 2);
    for (int k = 5; k <= 8; ++k) {
        EXPECT_EQ(funnel::height(k), 3) << k;
    }
    EXPECT_EQ(funnel::height(9), 4);
    EXPECT_EQ(funnel::height(16), 4);
    EXPECT_EQ(funnel::height(128), 7);
    EXPECT_EQ(funnel::height(129), 8);
    EXPECT_EQ(funnel::bfs_child(1, 0), 2);
    EXPECT_EQ(funnel::bfs_child(5, 1), 11);
}

using Splitter = benchmark_tuning;

TEST_F(Splitter, BottomTreesTakeTheLargerHalf)
{
    std::int16_t const tops[] = {1, 1, 2, 2, 3, 3, 4, 4, 5};
    for (std::int16_t h = 2; h <= 10; ++h) {
        EXPECT_EQ(splitter::top_height(h), tops[h - 2]) << h;
        EXPECT_EQ(splitter::bottom_height(h), h - tops[h - 2]) << h;
    }
    splitter::split const s = splitter::of(5, 3, funnel::default_tuning);
    EXPECT_EQ(s.top_height, 1);
    EXPECT_EQ(s.bottom_height, 2);
    EXPECT_EQ(s.bottom_inputs, 4);
    EXPECT_EQ(s.bottom_count, 2);
    EXPECT_EQ(s.bufsize, 128u);
    EXPECT_EQ(splitter::of(8, 3, funnel::default_tuning).bottom_count, 2);
    EXPECT_EQ(splitter::of(9, 4, funnel::default_tuning).bottom_count, 3);
}

TEST_F(Splitter, BufferSizeTruncatesThePower)
{
    std::uint64_t const sizes[] = {20, 128, 724, 4096, 23168, 131072, 741452};
    for (std::int16_t b = 1; b <= 7; ++b) {
        EXPECT_EQ(splitter::bufsize(b, funnel::default_tuning), sizes[b - 1]) << b;
    }
    EXPECT_EQ(splitter::bufsize(3, funnel::tuning{3, 2.0f}), 3u * 64u);
}

TEST(MergeStep, BothInputsEmptyWritesNothing)
{
    element out_space[4];
    range out{out_space, out_space + 4};
    range in[2] = {};
    EXPECT_EQ(merger::merge(out, in), none);
    EXPECT_EQ(out.begin, out_space);
}

TEST(MergeStep, OneInputCopiesWhatFits)
{
    element out_space[5];
    for (int which = 0; which < 2; ++which) {
        std::vector<element> five = run_of({1, 2, 3, 4, 5});
        range out{out_space, out_space + 5};
        range in[2] = {};
        in[which] = whole(five);
        EXPECT_EQ(merger::merge(out, in), which);  // empty although out became full as well
        EXPECT_EQ(out.begin, out_space + 5);
        EXPECT_EQ(in[which].begin, in[which].end);
        EXPECT_EQ(out_space[4].key, 5u);

        std::vector<element> six = run_of({1, 2, 3, 4, 5, 6});
        out = range{out_space, out_space + 5};
        in[which] = whole(six);
        EXPECT_EQ(merger::merge(out, in), none);
        EXPECT_EQ(out.begin, out_space + 5);
        EXPECT_EQ(in[which].end - in[which].begin, 1);
        EXPECT_EQ(in[which].begin->key, 6u);
    }
}

TEST(MergeStep, EqualKeysLeaveFromInputOneFirst)
{
    std::vector<element> zero = run_of({3, 7}, 0);
    std::vector<element> one = run_of({3, 8}, 1);
    element out_space[4];
    range out{out_space, out_space + 4};
    range in[2] = {whole(zero), whole(one)};
    EXPECT_EQ(merger::merge(out, in), 0);
    EXPECT_EQ(out.begin, out_space + 3);
    EXPECT_EQ(out_space[0].payload, one[0].payload);
    EXPECT_EQ(out_space[1].payload, zero[0].payload);
    EXPECT_EQ(out_space[2].key, 7u);
    EXPECT_EQ(in[1].begin, one.data() + 1);  // the unread head of input 1 stays
    EXPECT_EQ(in[1].end, one.data() + 2);
}

TEST(MergeStep, LastSlotFilledByLastElementReportsTheInput)
{
    std::vector<element> zero = run_of({1, 4});
    std::vector<element> one = run_of({2, 9});
    element out_space[3];
    range out{out_space, out_space + 3};
    range in[2] = {whole(zero), whole(one)};
    EXPECT_EQ(merger::merge(out, in), 0);
    EXPECT_EQ(out.begin, out.end);

    range full{out_space + 3, out_space + 3};
    std::vector<element> a = run_of({1});
    std::vector<element> b = run_of({2});
    range both[2] = {whole(a), whole(b)};
    EXPECT_EQ(merger::merge(full, both), none);
    EXPECT_EQ(both[0].begin, a.data());
    EXPECT_EQ(both[1].begin, b.data());
}

// Two sorted key sequences that together hold `total` keys drawn below key_bound. With
// stretches, consecutive stretches of 1 to 100 keys of the merged order go to one input, so
// that long runs of one input precede the other's head, as in presorted data.
void draw_inputs(std::mt19937_64& random, std::size_t total, std::uint64_t key_bound, bool stretches,
                 std::vector<std::uint64_t>& keys0, std::vector<std::uint64_t>& keys1)
{
    std::vector<std::uint64_t> keys(total);
    for (auto& k : keys) k = random() % key_bound;
    std::sort(keys.begin(), keys.end());
    keys0.clear();
    keys1.clear();
    std::size_t i = 0;
    while (i < total) {
        std::size_t const n = stretches ? 1 + random() % 100 : 1;
        auto& into = random() % 2 == 0 ? keys0 : keys1;
        for (std::size_t j = 0; j < n && i < total; ++j, ++i) {
            into.push_back(keys[i]);
        }
    }
}

// Against an independent reference: a stable merge that prefers input 1 on ties is std::merge
// with the inputs swapped. The step stops at the first exhausted input or a full output. Short
// inputs cover the edges; long ones, with and without long one-sided stretches and with few
// or many distinct keys, cover the block copies, the galloping and the split halves.
TEST(MergeStep, AgreesWithAReferenceMerge)
{
    std::mt19937_64 random(17);
    for (int round = 0; round < 3000; ++round) {
        bool const short_round = round < 2000;
        std::size_t const total = short_round ? random() % 25 : random() % 1200;
        std::uint64_t const bounds[] = {7, 1000, std::uint64_t{1} << 40};
        std::uint64_t const key_bound = short_round ? 7 : bounds[random() % 3];
        std::vector<std::uint64_t> keys0, keys1;
        draw_inputs(random, total, key_bound, !short_round && random() % 2 == 0, keys0, keys1);
        std::vector<element> zero = run_of(keys0, 1), one = run_of(keys1, 2);

        std::vector<element> expected(zero.size() + one.size());
        std::merge(one.begin(), one.end(), zero.begin(), zero.end(), expected.begin());
        int const room = static_cast<int>(random() % (total + 3));
        std::vector<element> out_space(room);
        range out{out_space.data(), out_space.data() + room};
        range in[2] = {whole(zero), whole(one)};
        int const result = merger::merge(out, in);

        std::size_t const written = static_cast<std::size_t>(out.begin - out_space.data());
        std::size_t const used0 = static_cast<std::size_t>(in[0].begin - zero.data());
        std::size_t const used1 = static_cast<std::size_t>(in[1].begin - one.data());
        ASSERT_EQ(written, used0 + used1);
        for (std::size_t i = 0; i < written; ++i) {
            ASSERT_EQ(out_space[i].payload, expected[i].payload) << round;
        }
        bool const empty0 = used0 == zero.size(), empty1 = used1 == one.size();
        if (zero.empty() && one.empty()) {
            ASSERT_EQ(result, none);
        } else if (result == none) {
            ASSERT_TRUE(written == static_cast<std::size_t>(room)) << round;
            // Out filled before the step emptied a non-empty input.
            ASSERT_FALSE(!zero.empty() && !one.empty() && (empty0 || empty1)) << round;
        } else {
            ASSERT_TRUE(result == 0 ? empty0 && !zero.empty() : empty1 && !one.empty()) << round;
            // The step stops at the first input that runs empty: the other keeps its data
            // unless it was empty to begin with.
            range const& other = in[1 - result];
            std::vector<element> const& other_run = result == 0 ? one : zero;
            ASSERT_TRUE(other_run.empty() || other.begin != other.end) << round;
        }
    }
}

// The portable step and the one the build uses take the same elements in the same order, with
// inputs exactly as long as the steps need, so that the sanitizer build catches a look-ahead past
// either end.
TEST(MergeStep, PortableAndFastStepsAgree)
{
    std::mt19937_64 random(29);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint64_t> keys0, keys1;
        draw_inputs(random, 2 + random() % 800, round % 2 == 0 ? 5 : 1u << 30, round % 3 == 0, keys0, keys1);
        std::vector<element> zero = run_of(keys0, 1), one = run_of(keys1, 2);
        std::vector<element> expected(zero.size() + one.size());
        std::merge(one.begin(), one.end(), zero.begin(), zero.end(), expected.begin());
        std::ptrdiff_t const longest = static_cast<std::ptrdiff_t>(std::min(zero.size(), one.size()));
        for (std::ptrdiff_t const steps : {std::ptrdiff_t{1}, std::ptrdiff_t{2}, std::ptrdiff_t{3}, longest}) {
            if (steps < 1 || steps > longest) {
                continue;
            }
            for (int kind = 0; kind < 2; ++kind) {
                // The first `steps` elements of the merge come from the first `steps` of each input.
                std::vector<element> cut0(zero.begin(), zero.begin() + steps);
                std::vector<element> cut1(one.begin(), one.begin() + steps);
                element* a = cut0.data();
                element* b = cut1.data();
                std::vector<element> out(static_cast<std::size_t>(steps));
                element* const end = kind == 0 ? funnel::merge_steps<funnel::mask_step>(a, b, out.data(), steps)
                                               : funnel::merge_steps<funnel::fast_step>(a, b, out.data(), steps);
                ASSERT_EQ(end, out.data() + steps);
                ASSERT_EQ((a - cut0.data()) + (b - cut1.data()), steps) << kind;
                for (std::ptrdiff_t i = 0; i < steps; ++i) {
                    ASSERT_EQ(out[i].payload, expected[i].payload) << round << ' ' << kind << ' ' << i;
                }
            }
        }
    }
}

// Misses space the looks for leading blocks further and further apart, up to one in 32 calls; a
// block of worthwhile length makes every call look again, and a short one counts as a miss.
TEST(LeadingBlockLookout, BacksOffOnMissesAndLooksAgainAfterABlock)
{
    funnel::block_lookout lookout;
    std::vector<int> looked;
    for (int call = 1; call <= 100; ++call) {
        if (lookout.should_look()) {
            looked.push_back(call);
            lookout.saw(0);
        }
    }
    EXPECT_EQ(looked, (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 96}));

    int calls = 0;
    while (!lookout.should_look()) {
        ++calls;
    }
    EXPECT_LT(calls, 32);
    lookout.saw(funnel::block_lookout::worthwhile_block);
    for (int call = 0; call < 10; ++call) {
        ASSERT_TRUE(lookout.should_look()) << call;
        lookout.saw(funnel::block_lookout::worthwhile_block);
    }
    lookout.saw(funnel::block_lookout::worthwhile_block - 1);
    ASSERT_TRUE(lookout.should_look());
    lookout.saw(funnel::block_lookout::worthwhile_block - 1);
    EXPECT_FALSE(lookout.should_look());
}

// root(1) -> A(2), B(3); A -> L1(4), L2(5); B -> L3(6) only.
struct small_tree {
    node root{}, a{}, b{}, l1{}, l2{}, l3{};
    small_tree()
    {
        root.children[0] = &a;
        root.children[1] = &b;
        a.children[0] = &l1;
        a.children[1] = &l2;
        b.children[0] = &l3;
    }
};

TEST(Navigator, WalksLeavesBothWays)
{
    small_tree t;
    node* path[navigator::max_path] = {&t.root};
    navigator::to_first_leaf(path, 2);
    std::vector<node*> forward{path[2]};
    while (navigator::to_next_leaf(path, 2)) {
        forward.push_back(path[2]);
    }
    EXPECT_EQ(forward, (std::vector<node*>{&t.l1, &t.l2, &t.l3}));

    navigator::to_last_leaf(path, 2);
    std::vector<node*> backward{path[2]};
    while (navigator::to_previous_leaf(path, 2)) {
        backward.push_back(path[2]);
    }
    EXPECT_EQ(backward, (std::vector<node*>{&t.l3, &t.l2, &t.l1}));

    node* single[navigator::max_path] = {&t.l1};
    navigator::to_first_leaf(single, 0);
    EXPECT_EQ(single[0], &t.l1);
    EXPECT_FALSE(navigator::to_next_leaf(single, 0));
    EXPECT_FALSE(navigator::to_previous_leaf(single, 0));
}

TEST(Navigator, VisitsBuffersInPreOrderAndSkipsMissingChildren)
{
    small_tree t;
    struct recorder {
        std::vector<range*> seen;
        void operator()(node& n, int i) { seen.push_back(&n.buffers[i]); }
    };
    recorder const r = navigator::enum_buffers(&t.root, recorder{});
    std::vector<range*> const expected{&t.root.buffers[0], &t.a.buffers[0], &t.a.buffers[1],
                                       &t.root.buffers[1], &t.b.buffers[0]};
    EXPECT_EQ(r.seen, expected);
}

}  // namespace

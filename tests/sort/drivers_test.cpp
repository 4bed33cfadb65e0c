// Real sorts with both drivers and both allocators through the sort entry.

#include "sort/sort_entry.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "funnel/element_trees.hpp"
#include "sort/sorted_stream.hpp"
#include "tests/support/benchmark_tuning.hpp"
#include "tests/sort/sort_inputs.hpp"

namespace {

using drivers = benchmark_tuning;
using test_support::numbered_input;

// Sorting every size is cheap up to here; above it a stride and the hard sizes stand in.
#ifdef KIT_SANITIZED_BUILD
constexpr std::uint64_t every_size_up_to = 700;
constexpr std::uint64_t size_stride = 997;
#else
constexpr std::uint64_t every_size_up_to = 2500;
constexpr std::uint64_t size_stride = 211;
#endif
constexpr std::uint64_t strided_up_to = 20000;
// Few distinct keys, so that equal keys meet in every merge.
constexpr std::uint64_t key_bound = 1000;

template <class Tree>
std::vector<element> sorted_by(driver which, std::vector<element> input, funnel::tuning t = funnel::default_tuning)
{
    std::vector<element> out(input.size());
    sort_entry<Tree>(which, input.data(), input.data() + input.size(), out.data(), t);
    return out;
}

// Sorts with both drivers and both allocators; all four outputs must be the same sorted
// permutation of the input, element for element, payloads included.
void expect_all_four_agree(std::vector<element> const& input)
{
    std::uint64_t const n = input.size();
    std::vector<element> const reference = sorted_by<funnel::stack_element_tree>(driver::cached, input);
    ASSERT_TRUE(test_support::is_sorted_permutation(input, reference)) << n;
    auto const same = [&](std::vector<element> const& other) {
        return std::equal(reference.begin(), reference.end(), other.begin(), test_support::same_elements);
    };
    EXPECT_TRUE(same(sorted_by<funnel::stack_element_tree>(driver::uncached, input))) << n;
    EXPECT_TRUE(same(sorted_by<funnel::heap_element_tree>(driver::cached, input))) << n;
    EXPECT_TRUE(same(sorted_by<funnel::heap_element_tree>(driver::uncached, input))) << n;
}

// The expected output of a sort, worked out without a merge tree. A call splits its range as the
// drivers do; base-case parts are sorted with std::sort; the runs of a recursive call are its
// parts' results with part 0 last, where the rotation leaves it. Merging k runs with a binary
// tree whose every node takes input 1 first on equal keys puts equal keys in the order of
// descending run, each run's own order kept: that is a stable sort by key of the runs laid out
// from the last to the first.
std::vector<element> model_of_call(std::vector<element> const& range, funnel::tuning t)
{
    range_split const s = split_of(range.size(), t);
    std::vector<std::vector<element>> runs;
    std::size_t start = 0;
    for (std::uint64_t i = 0; i < s.k; ++i) {
        std::size_t const size = s.base_case ? base_part_size(s, i) : recursive_part_size(s, i);
        std::vector<element> part(range.begin() + start, range.begin() + start + size);
        start += size;
        if (s.base_case) {
            std::sort(part.begin(), part.end());
        } else {
            part = model_of_call(part, t);
        }
        runs.push_back(part);
    }
    if (!s.base_case) {
        std::rotate(runs.begin(), runs.begin() + 1, runs.end());
    }
    std::vector<element> merged;
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        merged.insert(merged.end(), run->begin(), run->end());
    }
    std::stable_sort(merged.begin(), merged.end());
    return merged;
}

std::vector<element> model_sort(std::vector<element> input, funnel::tuning t = funnel::default_tuning)
{
    if (static_cast<std::int64_t>(input.size()) <= base_case_threshold(t) + 1) {
        std::sort(input.begin(), input.end());
        return input;
    }
    return model_of_call(input, t);
}

// Keys with structure and many equal keys, numbered payloads.
std::vector<element> patterned_input(std::uint64_t n, int pattern)
{
    std::vector<element> items = numbered_input(n, 0, n + static_cast<std::uint64_t>(pattern));
    for (std::uint64_t i = 0; i < n; ++i) {
        std::uint64_t& key = items[i].key;
        switch (pattern) {
        case 0: key %= 3; break;                                            // few distinct keys
        case 1: key = 5; break;                                             // all equal
        case 2: key = i / 4; break;                                         // sorted, pairs of equal keys and more
        case 3: key = (n - i) / 3; break;                                   // reverse with equal keys
        case 4: key = (i % 700) / 2 + (key % 50 == 0 ? key % 5 : 0); break; // sorted runs, a few keys out of place
        default: key = i < n / 2 ? i % 40 : (n - i) % 40; break;            // organ pipe of few keys
        }
    }
    return items;
}

// All four variants against the model, on every pattern.
void expect_the_model_order(std::vector<std::uint64_t> const& sizes, funnel::tuning t = funnel::default_tuning)
{
    auto const same = [](std::vector<element> const& a, std::vector<element> const& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), test_support::same_elements);
    };
    for (std::uint64_t n : sizes) {
        for (int pattern = 0; pattern < 6; ++pattern) {
            std::vector<element> const input = patterned_input(n, pattern);
            std::vector<element> const expected = model_sort(input, t);
            EXPECT_TRUE(same(sorted_by<funnel::stack_element_tree>(driver::cached, input, t), expected)) << n << ' ' << pattern;
            EXPECT_TRUE(same(sorted_by<funnel::stack_element_tree>(driver::uncached, input, t), expected)) << n << ' ' << pattern;
            EXPECT_TRUE(same(sorted_by<funnel::heap_element_tree>(driver::cached, input, t), expected)) << n << ' ' << pattern;
            EXPECT_TRUE(same(sorted_by<funnel::heap_element_tree>(driver::uncached, input, t), expected)) << n << ' ' << pattern;
        }
    }
}

TEST_F(drivers, every_variant_gives_the_order_of_a_model_of_recursion_and_ties)
{
    std::vector<std::uint64_t> sizes{317, 318, 319, 633, 1272, 4999, 16491};
#ifndef KIT_SANITIZED_BUILD
    sizes.push_back(120001);
#endif
    expect_the_model_order(sizes);
}

// Base-case parts of up to 2000 elements (alpha 8, d 2.5: T = 1789) keep std::sort's order of
// equal keys too.
TEST_F(drivers, a_large_threshold_keeps_the_order_of_the_model)
{
    funnel::tuning const large{8, 2.5f};
    ASSERT_EQ(base_case_threshold(large), 1789);
    expect_the_model_order({1791, 3582, 3583, 12000}, large);
}

// Other settings change the recursion and every buffer size; the order still follows the model,
// and the pool estimate covers each (a short pool would throw).
TEST_F(drivers, every_setting_gives_the_order_of_the_model_at_that_setting)
{
    funnel::tuning const settings[] = {{1, 2.5f}, {2, 3.0f}, {8, 2.0f}, {14, 1.9f}, {32, 1.5f}, {6, 2.5f}};
    for (funnel::tuning const t : settings) {
        SCOPED_TRACE(std::to_string(t.alpha) + '/' + std::to_string(t.d));
        expect_the_model_order({2500, 20011}, t);
    }
}

// Node calls as a counting merge step sees them, by level of the tree (0: the root), and the
// elements that left their batches as leading blocks.
std::vector<std::uint64_t> moved_by_level;
std::uint64_t moved_ahead = 0;

struct counting_step {
    static void node_call(std::int32_t x, std::ptrdiff_t moved)
    {
        std::size_t const level = static_cast<std::size_t>(funnel::height(x + 1) - 1);
        moved_by_level.resize(std::max(moved_by_level.size(), level + 1));
        moved_by_level[level] += static_cast<std::uint64_t>(moved);
    }
    static void leading_block(std::ptrdiff_t moved) { moved_ahead += static_cast<std::uint64_t>(moved); }
};

using counting_tree = funnel::rec_merge_tree<
    element, funnel::buffer<element*>,
    funnel::mixed_veb_layout<funnel::pointer_flip_navigator<funnel::pointer_flip_node<2, element*>, funnel::my_splitter<2>>,
                             funnel::my_splitter<2>, element, std::allocator<element>>,
    funnel::simple_merger<2, funnel::buffer<element*>, element, counting_step>, funnel::my_splitter<2>,
    funnel::nop_refill<element*>>;

TEST_F(drivers, a_counting_merge_step_sees_every_element_once_per_level)
{
    // 1000 elements: one tree over 4 base-case runs, a root over two leaves. 12000: a tree over 11
    // parts of about 1091, each merged by a tree over 4 base-case runs; every element passes
    // levels 0 and 1 of two trees, or leaves its batch as part of a leading block, ahead of the tree.
    for (auto const& [n, per_level] : {std::pair<std::uint64_t, std::uint64_t>{1000, 1}, {12000, 2}}) {
        for (driver which : {driver::cached, driver::uncached}) {
            moved_by_level.clear();
            moved_ahead = 0;
            std::vector<element> const out = sorted_by<counting_tree>(which, numbered_input(n, key_bound, n));
            ASSERT_TRUE(std::is_sorted(out.begin(), out.end()));
            ASSERT_GE(moved_by_level.size(), 2u) << n;
            EXPECT_EQ(moved_by_level[0] + moved_ahead, n * per_level) << n;
            EXPECT_EQ(moved_by_level[1] + moved_ahead, n * per_level) << n;
            EXPECT_GT(moved_ahead, 0u) << n;
        }
    }
}

TEST_F(drivers, every_small_size_sorts_alike_with_both_drivers_and_allocators)
{
    for (std::uint64_t n = 1; n <= every_size_up_to; ++n) {
        expect_all_four_agree(numbered_input(n, key_bound, n));
    }
    for (std::uint64_t n = every_size_up_to + 1; n <= strided_up_to; n += size_stride) {
        expect_all_four_agree(numbered_input(n, key_bound, n));
    }
}

TEST_F(drivers, sizes_whose_smaller_parts_recurse_differently_sort_alike)
{
    // 16491 and 17870: a smaller part recurses a depth deeper than the largest; 13949: the
    // largest part's chain has a level no call reaches; 38591: a smaller part needs the larger
    // scratch block.
    std::vector<std::uint64_t> sizes{16489, 16491, 16499, 17870, 13949};
#ifndef KIT_SANITIZED_BUILD
    sizes.push_back(38591);
    sizes.push_back(75820);
#endif
    for (std::uint64_t n : sizes) {
        expect_all_four_agree(numbered_input(n, key_bound, n));
        expect_all_four_agree(numbered_input(n, 0, n + 1));  // nearly all keys distinct
    }
}

TEST_F(drivers, the_stream_sees_every_element_in_order)
{
    for (std::uint64_t n : {1ull, 317ull, 318ull, 1272ull, 16491ull}) {
        std::vector<element> const input = numbered_input(n, 0, n);
        element expected_sum = input[0];
        for (std::size_t i = 1; i < input.size(); ++i) {
            expected_sum.key += input[i].key;
        }
        for (driver which : {driver::cached, driver::uncached}) {
            std::vector<element> work = input;
            sorted_stream<element> stream;
            testing::internal::CaptureStderr();
            sort_entry<funnel::stack_element_tree>(which, work.data(), work.data() + n,
                                                   sorted_stream<element>::iterator(&stream), funnel::default_tuning);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << n;
            EXPECT_EQ(stream.sum.key, expected_sum.key) << n;
            // The first element out is the smallest; the last one accepted the largest.
            EXPECT_EQ(stream.sum.payload, std::min_element(input.begin(), input.end())->payload) << n;
            EXPECT_EQ(stream.prev.key, std::max_element(input.begin(), input.end())->key) << n;
        }
    }
}

TEST_F(drivers, equal_keys_leave_the_root_from_buffer_one_first)
{
    // 318 elements split 3 ways into base-case parts of 106, each holding the keys 0 .. 105 once.
    // The root's buffer 0 merges parts 0 and 1 below it, buffer 1 carries part 2. Equal keys
    // leave from the higher input first at every node, so each key comes out of part 2, then
    // part 1, then part 0.
    constexpr std::uint64_t part = 106;
    constexpr std::uint64_t parts = 3;
    std::vector<element> input(part * parts);
    for (std::uint64_t p = 0; p < parts; ++p) {
        for (std::uint64_t i = 0; i < part; ++i) {
            element& e = input[p * part + i];
            e.key = (i * 37 + p) % part;  // every key once per part, in a scrambled order
            e.payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(p));
        }
    }
    for (driver which : {driver::cached, driver::uncached}) {
        std::vector<element> const out = sorted_by<funnel::heap_element_tree>(which, input);
        ASSERT_EQ(out.size(), input.size());
        for (std::uint64_t key = 0; key < part; ++key) {
            for (std::uint64_t j = 0; j < parts; ++j) {
                element const& e = out[key * parts + j];
                ASSERT_EQ(e.key, key);
                EXPECT_EQ(e.payload, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parts - 1 - j))) << key;
            }
        }
    }
}

TEST_F(drivers, input_holds_the_runs_afterwards_not_the_sorted_sequence)
{
    constexpr std::uint64_t n = 1272;  // 4 recursive parts of 318: the input ends up as 4 runs
    std::vector<element> const input = numbered_input(n, 0, 7);
    for (driver which : {driver::cached, driver::uncached}) {
        std::vector<element> work = input;
        std::vector<element> out(n);
        sort_entry<funnel::heap_element_tree>(which, work.data(), work.data() + n, out.data(), funnel::default_tuning);
        for (std::uint64_t run = 0; run < 4; ++run) {
            EXPECT_TRUE(std::is_sorted(work.begin() + run * 318, work.begin() + (run + 1) * 318)) << run;
        }
        EXPECT_FALSE(std::is_sorted(work.begin(), work.end()));
    }
}

}  // namespace

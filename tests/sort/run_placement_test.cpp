#include "sort/run_placement.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "funnel/buffer.hpp"
#include "funnel/merger.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using run_placement = benchmark_tuning;

// Records the runs added to it as (offset, length) pairs relative to a base address.
struct recording_tree {
    using merger_type = funnel::simple_merger<2, funnel::buffer<element*>, element>;
    using refill_type = funnel::nop_refill<element*>;

    element* base;
    std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> runs;
    merger_type merger;

    void add_input(element* begin, element* end) { runs.emplace_back(begin - base, end - begin); }
};

range_split three_parts_of_ten()
{
    range_split s;
    s.k = 3;
    s.q = 3;
    s.r = 1;
    s.m0 = 4;
    return s;
}

TEST_F(run_placement, parts_4_3_3_are_rotated_by_one_part)
{
    std::vector<element> range(10);
    element* const first = range.data();
    std::vector<element> scratch(4);
    struct call {
        std::ptrdiff_t begin, end, out;  // out as an offset into the range, or -1 for the scratch block
    };
    std::vector<call> calls;
    range_split const s = three_parts_of_ten();
    sort_parts_rotated(first, first + 10, s, scratch.data(), [&](element* b, element* e, element* o) {
        calls.push_back({b - first, e - first, o == scratch.data() ? -1 : o - first});
        // Writes the part's own positions as keys, so that the final copy can be followed.
        for (element* p = b; p != e; ++p) {
            o[p - b].key = static_cast<std::uint64_t>(p - first);
        }
    });
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].begin, 0);
    EXPECT_EQ(calls[0].end, 4);
    EXPECT_EQ(calls[0].out, -1);
    EXPECT_EQ(calls[1].begin, 4);
    EXPECT_EQ(calls[1].end, 7);
    EXPECT_EQ(calls[1].out, 0);
    EXPECT_EQ(calls[2].begin, 7);
    EXPECT_EQ(calls[2].end, 10);
    EXPECT_EQ(calls[2].out, 3);
    std::vector<std::uint64_t> keys;
    for (element const& e : range) {
        keys.push_back(e.key);
    }
    EXPECT_EQ(keys, (std::vector<std::uint64_t>{4, 5, 6, 7, 8, 9, 0, 1, 2, 3}));

    recording_tree tree{first, {}, {}};
    add_rotated_runs(tree, first, s);
    using run = std::pair<std::ptrdiff_t, std::ptrdiff_t>;
    EXPECT_EQ(tree.runs, (std::vector<run>{{0, 3}, {3, 3}, {6, 4}}));
}

TEST_F(run_placement, rotated_runs_tile_the_range_for_both_remainder_cases)
{
    using run = std::pair<std::ptrdiff_t, std::ptrdiff_t>;
    for (std::uint64_t n : {1272ull, 1275ull, 16491ull}) {  // r = 0, r = 3, r = 3 with k = 12
        range_split const s = split_of(n, funnel::default_tuning);
        std::vector<element> range(n);
        recording_tree tree{range.data(), {}, {}};
        add_rotated_runs(tree, range.data(), s);
        ASSERT_EQ(tree.runs.size(), s.k);
        std::ptrdiff_t next = 0;
        for (run const& r : tree.runs) {
            EXPECT_EQ(r.first, next) << n;
            next += r.second;
        }
        EXPECT_EQ(next, static_cast<std::ptrdiff_t>(n));
        // Part 0, the longest, comes last.
        EXPECT_EQ(tree.runs.back().second, static_cast<std::ptrdiff_t>(s.m0)) << n;
        if (s.r != 0) {
            EXPECT_EQ(tree.runs.front().second, static_cast<std::ptrdiff_t>(s.r > 1 ? s.q + 1 : s.q)) << n;
        }
    }
}

TEST_F(run_placement, base_parts_are_sorted_in_place_short_parts_first)
{
    range_split const s = three_parts_of_ten();
    std::vector<element> range(10);
    for (std::size_t i = 0; i < range.size(); ++i) {
        range[i].key = 10 - i;
    }
    recording_tree tree{range.data(), {}, {}};
    sort_and_add_base_parts(tree, range.data(), s);
    using run = std::pair<std::ptrdiff_t, std::ptrdiff_t>;
    EXPECT_EQ(tree.runs, (std::vector<run>{{0, 3}, {3, 3}, {6, 4}}));
    std::vector<std::uint64_t> keys;
    for (element const& e : range) {
        keys.push_back(e.key);
    }
    EXPECT_EQ(keys, (std::vector<std::uint64_t>{8, 9, 10, 5, 6, 7, 1, 2, 3, 4}));
}

}  // namespace

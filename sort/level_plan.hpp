#pragma once
// Worst-case level sizing. The calls at one recursion depth do not all have the size of the
// largest part: a smaller part can get a lower fan-out and so larger parts of its own, and can
// even recurse one depth further than the largest part does (n = 16491: the 1375-element parts
// split 5 ways into base cases, the 1374-element parts split 4 ways into 343-element parts that
// recurse). So instead of following the largest part down, the plan collects every part size
// that can occur at each depth and sizes each level from the worst of them.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "funnel/tuning.hpp"
#include "sort/tuning.hpp"

struct level_plan {
    // Inputs of level tree j: the largest fan-out among the calls at depth j + 1 (the outer call is
    // depth 0). Its size is the level count L, the deepest depth any call reaches.
    std::vector<std::int32_t> tree_inputs;
    // The largest scratch block, in elements, that a call at depth j takes (j = 0: the outer
    // call's m0). Calls at depth L never recurse and take none, so this has L entries as well.
    std::vector<std::uint64_t> scratch;
};

namespace level_plan_detail {

// The distinct sizes of the parts of a recursive call over n elements: q, and q + 1 when the
// division leaves a remainder.
inline void add_part_sizes(range_split const& s, std::vector<std::uint64_t>& sizes)
{
    sizes.push_back(s.q);
    if (s.r != 0) {
        sizes.push_back(s.q + 1);
    }
}

inline void sort_unique(std::vector<std::uint64_t>& sizes)
{
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
}

}  // namespace level_plan_detail

// The plan for a sort over n elements at tuning t; empty when the outer call is a base case.
inline level_plan plan_levels(std::uint64_t n, funnel::tuning t)
{
    level_plan plan;
    range_split const outer = split_of(n, t);
    if (outer.base_case) {
        return plan;
    }
    plan.scratch.push_back(outer.m0);
    std::vector<std::uint64_t> sizes;  // every size a call at the current depth can have
    level_plan_detail::add_part_sizes(outer, sizes);
    while (!sizes.empty()) {
        std::int32_t inputs = 0;
        std::uint64_t scratch = 0;
        std::vector<std::uint64_t> next;
        for (std::uint64_t m : sizes) {
            range_split const s = split_of(m, t);
            inputs = std::max(inputs, static_cast<std::int32_t>(s.k));
            if (!s.base_case) {
                scratch = std::max(scratch, s.m0);
                level_plan_detail::add_part_sizes(s, next);
            }
        }
        plan.tree_inputs.push_back(inputs);
        if (!next.empty()) {
            plan.scratch.push_back(scratch);
        }
        level_plan_detail::sort_unique(next);
        sizes.swap(next);
    }
    return plan;
}

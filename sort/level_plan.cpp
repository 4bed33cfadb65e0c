#include "sort/level_plan.hpp"

#include <algorithm>

#include "sort/tuning.hpp"

namespace {

// The distinct sizes of the parts of a recursive call over n elements: q, and q + 1 when the
// division leaves a remainder.
void add_part_sizes(range_split const& s, std::vector<std::uint64_t>& sizes)
{
    sizes.push_back(s.q);
    if (s.r != 0) {
        sizes.push_back(s.q + 1);
    }
}

void sort_unique(std::vector<std::uint64_t>& sizes)
{
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
}

}  // namespace

level_plan plan_levels(std::uint64_t n, funnel::tuning t)
{
    level_plan plan;
    range_split const outer = split_of(n, t);
    if (outer.base_case) {
        return plan;
    }
    plan.scratch.push_back(outer.m0);
    std::vector<std::uint64_t> sizes;  // every size a call at the current depth can have
    add_part_sizes(outer, sizes);
    while (!sizes.empty()) {
        std::int32_t inputs = 0;
        std::uint64_t scratch = 0;
        std::vector<std::uint64_t> next;
        for (std::uint64_t m : sizes) {
            range_split const s = split_of(m, t);
            inputs = std::max(inputs, static_cast<std::int32_t>(s.k));
            if (!s.base_case) {
                scratch = std::max(scratch, s.m0);
                add_part_sizes(s, next);
            }
        }
        plan.tree_inputs.push_back(inputs);
        if (!next.empty()) {
            plan.scratch.push_back(scratch);
        }
        sort_unique(next);
        sizes.swap(next);
    }
    return plan;
}

#pragma once
// Worst-case level sizing. The calls at one recursion depth do not all have the size of the
// largest part: a smaller part can get a lower fan-out and so larger parts of its own, and can
// even recurse one depth further than the largest part does (n = 16491: the 1375-element parts
// split 5 ways into base cases, the 1374-element parts split 4 ways into 343-element parts that
// recurse). So instead of following the largest part down, the plan collects every part size
// that can occur at each depth and sizes each level from the worst of them.

#include <cstdint>
#include <vector>

#include "funnel/tuning.hpp"

struct level_plan {
    // Inputs of level tree j: the largest fan-out among the calls at depth j + 1 (the outer call is
    // depth 0). Its size is the level count L, the deepest depth any call reaches.
    std::vector<std::int32_t> tree_inputs;
    // The largest scratch block, in elements, that a call at depth j takes (j = 0: the outer
    // call's m0). Calls at depth L never recurse and take none, so this has L entries as well.
    std::vector<std::uint64_t> scratch;
};

// The plan for a sort over n elements at tuning t; empty when the outer call is a base case.
level_plan plan_levels(std::uint64_t n, funnel::tuning t);

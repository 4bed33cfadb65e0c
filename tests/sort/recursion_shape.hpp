#pragma once
// A dry run of the drivers' recursion: it follows every call a sort makes, with the drivers' own
// split, without touching an element. Calls of equal size below them look alike, so each size
// is worked out once. This is a plain depth-first walk over the calls, independent of the
// breadth-first size sets the level plan is built from, and it models the drivers' use of memory
// from what they allocate and when.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "items/element.hpp"
#include "sort/tuning.hpp"

namespace test_support {

struct call_shape {
    // fan_outs[i]: the largest fan-out among the calls i levels below this one (0: this call).
    std::vector<std::int32_t> fan_outs;
    // The largest number of scratch elements held at once on one path from this call downwards.
    std::uint64_t scratch_path = 0;
    // The largest number of bytes the uncached driver holds at once inside this call: scratch
    // blocks on the current path and at most one tree.
    std::uint64_t uncached_peak = 0;
};

class recursion_shape {
public:
    // tree_memory(k, funnel::default_tuning): the bytes one merge tree with k inputs takes (layout and input slots).
    explicit recursion_shape(std::function<std::uint64_t(std::int32_t)> tree_memory) : tree_memory_(std::move(tree_memory)) {}

    call_shape const& of(std::uint64_t m)
    {
        auto const found = memo_.find(m);
        if (found != memo_.end()) {
            return found->second;
        }
        range_split const s = split_of(m, funnel::default_tuning);
        call_shape shape;
        std::int32_t const k = static_cast<std::int32_t>(s.k);
        shape.fan_outs.push_back(k);
        std::uint64_t const tree = tree_memory_(k);
        shape.uncached_peak = tree;
        if (!s.base_case) {
            std::uint64_t deepest_scratch = 0;
            std::uint64_t deepest_uncached = 0;
            std::vector<std::uint64_t> part_sizes{s.q};
            if (s.r != 0) {
                part_sizes.push_back(s.q + 1);
            }
            for (std::uint64_t part : part_sizes) {
                call_shape const& below = of(part);
                if (shape.fan_outs.size() < below.fan_outs.size() + 1) {
                    shape.fan_outs.resize(below.fan_outs.size() + 1, 0);
                }
                for (std::size_t i = 0; i < below.fan_outs.size(); ++i) {
                    shape.fan_outs[i + 1] = std::max(shape.fan_outs[i + 1], below.fan_outs[i]);
                }
                deepest_scratch = std::max(deepest_scratch, below.scratch_path);
                deepest_uncached = std::max(deepest_uncached, below.uncached_peak);
            }
            shape.scratch_path = s.m0 + deepest_scratch;
            // The scratch block is held while the parts are sorted; the tree is built after it is given back.
            shape.uncached_peak = std::max(s.m0 * sizeof(element) + deepest_uncached, tree);
        }
        return memo_.emplace(m, shape).first->second;
    }

    // Peak bytes of the cached driver over n elements whose tree objects take object_size bytes:
    // while the recursion runs, the level tree array, every level tree and one path of scratch
    // blocks; afterwards the outer tree alone.
    std::uint64_t cached_peak(std::uint64_t n, std::uint64_t object_size)
    {
        call_shape const& outer = of(n);
        std::uint64_t const outer_tree = tree_memory_(outer.fan_outs.front());
        std::uint64_t during = 0;
        for (std::size_t level = 1; level < outer.fan_outs.size(); ++level) {
            during += object_size + tree_memory_(outer.fan_outs[level]);
        }
        during += outer.scratch_path * sizeof(element);
        return std::max(during, outer_tree);
    }

private:
    std::function<std::uint64_t(std::int32_t)> tree_memory_;
    std::map<std::uint64_t, call_shape> memo_;
};

}  // namespace test_support

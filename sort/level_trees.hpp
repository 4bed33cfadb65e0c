#pragma once
// The level trees of the cached driver: one merge tree per recursion depth, built once by the
// outer call and shared in turn by every call at that depth. Tree objects live in an array taken
// from the sort's allocator (rebound to the tree type); the trees are destroyed in the reverse
// order of building them and the array is given back last, also when an exception leaves the
// recursion, so that a pool gets everything back in stack order and no allocator copy outlives
// the sort.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "funnel/tuning.hpp"

template <class Merger>
class level_trees {
    using allocator = typename Merger::allocator;
    using array_allocator = typename std::allocator_traits<allocator>::template rebind_alloc<Merger>;
    using step = typename Merger::merger_type;

public:
    // Builds level tree j with inputs[j] inputs, j = 0 .. L-1 in order, all at tuning t, each
    // merging with a copy of the step.
    level_trees(std::vector<std::int32_t> const& inputs, allocator const& a, funnel::tuning t,
                step const& merge_step = step())
        : array_alloc(a), count(inputs.size()), trees(array_alloc.allocate(count))
    {
        try {
            for (std::int32_t k : inputs) {
                ::new (static_cast<void*>(trees + built)) Merger(k, a, t, merge_step);
                ++built;
            }
        } catch (...) {
            release();
            throw;
        }
    }

    level_trees(level_trees const&) = delete;
    level_trees& operator=(level_trees const&) = delete;

    ~level_trees() { release(); }

    // Level tree 0, for the calls at depth 1; level tree j + 1 follows level tree j.
    Merger* first() const { return trees; }

private:
    void release() noexcept
    {
        while (built > 0) {
            --built;
            trees[built].~Merger();
        }
        if (trees != nullptr) {
            array_alloc.deallocate(trees, count);
            trees = nullptr;
        }
    }

    array_allocator array_alloc;
    std::size_t count;
    Merger* trees;
    std::size_t built = 0;
};

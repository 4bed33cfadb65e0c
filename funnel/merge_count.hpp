#pragma once
// What a sort reports about the way its elements move: nothing, in the sorts themselves. Tools
// and tests that want to see it give the merge step a policy with the same two functions.

#include <cstddef>
#include <cstdint>

namespace funnel {

struct no_merge_count {
    // A node call at breadth-first index x (the root is 1) moved `moved` elements.
    static void node_call(std::int32_t /*x*/, std::ptrdiff_t /*moved*/) {}
    // A leading block of `moved` elements went from a run straight to the output, ahead of the tree.
    static void leading_block(std::ptrdiff_t /*moved*/) {}
};

}  // namespace funnel

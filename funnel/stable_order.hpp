#pragma once
// An order that also asks the sort to keep equivalent items in their input order. The merge step
// compares with it exactly as with the plain order: every node already lets equivalent items
// leave from its input 1 (the higher input slot) first. What changes is how the drivers feed the
// tree: runs made from earlier parts of the range go to higher slots, and the base case sorts its
// parts stably, so that earlier items come out first at every level.

#include <type_traits>

namespace funnel {

template <typename Less>
struct stable_order {
    Less less;

    template <typename T>
    bool operator()(T const& a, T const& b) const
    {
        return less(a, b);
    }
};

template <typename Order>
struct keeps_input_order : std::false_type {};

template <typename Less>
struct keeps_input_order<stable_order<Less>> : std::true_type {};

}  // namespace funnel

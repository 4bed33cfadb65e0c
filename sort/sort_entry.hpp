#pragma once
// Where a benchmark sort starts: small inputs are sorted directly and copied out; larger ones get
// a temporary allocator (for the pool allocator, a pool sized for the whole sort) and one of the
// two funnel drivers.

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "sort/cached.hpp"
#include "sort/pool_estimate.hpp"
#include "sort/tuning.hpp"
#include "sort/uncached.hpp"

enum class driver { cached, uncached };

namespace sort_entry_detail {

// A pool allocator is made from the byte size of its pool; the standard allocator takes no size.
template <class Allocator, class Tree>
Allocator make_allocator(std::uint64_t n, funnel::tuning t)
{
    if constexpr (std::is_constructible<Allocator, unsigned long>::value) {
        return Allocator(static_cast<unsigned long>(pool_size_estimate_for<Tree>(n, t)));
    } else {
        return Allocator();
    }
}

}  // namespace sort_entry_detail

// Sorts [first, last) into out in the order of the tree's items (element: by key), at tuning t. With n <= T + 1
// that is std::sort and a copy; otherwise the chosen driver with a temporary allocator of the
// tree's type, released when the driver returns or throws. Afterwards [first, last) holds the
// driver's runs, not the sorted sequence.
template <class Tree, class OutputIterator, class Item = typename Tree::value_type>
void sort_entry(driver which, Item* first, Item* last, OutputIterator out, funnel::tuning t)
{
    auto const n = static_cast<std::uint64_t>(last - first);
    if (static_cast<std::int64_t>(n) <= base_case_threshold(t) + 1) {
        std::sort(first, last);
        std::copy(first, last, out);
        return;
    }
    typename Tree::allocator const alloc = sort_entry_detail::make_allocator<typename Tree::allocator, Tree>(n, t);
    if (which == driver::cached) {
        iosort::_merge_sort<Tree>(first, last, out, alloc, t);
    } else {
        uncached::_merge_sort<Tree>(first, last, out, alloc, t);
    }
}

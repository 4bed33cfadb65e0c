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

// A pool allocator laid in memory the caller gives: pool_memory(bytes) returns that many bytes,
// kept until the sort returns. The standard allocator takes none.
template <class Allocator, class Tree, class PoolMemory>
Allocator make_allocator_in(std::uint64_t n, funnel::tuning t, PoolMemory& pool_memory)
{
    if constexpr (std::is_constructible<Allocator, unsigned long>::value) {
        std::size_t const bytes = Allocator::block_bytes_for(static_cast<std::size_t>(pool_size_estimate_for<Tree>(n, t)));
        return Allocator(pool_memory(bytes), bytes);
    } else {
        return Allocator();
    }
}

// The sort of sort_entry with the allocator make_alloc(n) gives, made only when a driver runs.
template <class Tree, class OutputIterator, class MakeAllocator, class Item>
void sort_with(driver which, Item* first, Item* last, OutputIterator out, funnel::tuning t, MakeAllocator make_alloc)
{
    auto const n = static_cast<std::uint64_t>(last - first);
    if (static_cast<std::int64_t>(n) <= base_case_threshold(t) + 1) {
        std::sort(first, last);
        std::copy(first, last, out);
        return;
    }
    typename Tree::allocator const alloc = make_alloc(n);
    if (which == driver::cached) {
        iosort::_merge_sort<Tree>(first, last, out, alloc, t);
    } else {
        uncached::_merge_sort<Tree>(first, last, out, alloc, t);
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
    sort_entry_detail::sort_with<Tree>(which, first, last, out, t, [t](std::uint64_t n) {
        return sort_entry_detail::make_allocator<typename Tree::allocator, Tree>(n, t);
    });
}

// The same with the pool of a pool allocator in memory the caller gives (see make_allocator_in).
template <class Tree, class OutputIterator, class PoolMemory, class Item = typename Tree::value_type>
void sort_entry_in(driver which, Item* first, Item* last, OutputIterator out, funnel::tuning t, PoolMemory pool_memory)
{
    sort_entry_detail::sort_with<Tree>(which, first, last, out, t, [t, &pool_memory](std::uint64_t n) {
        return sort_entry_detail::make_allocator_in<typename Tree::allocator, Tree>(n, t, pool_memory);
    });
}

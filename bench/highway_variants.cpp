#include "bench/highway_variants.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include <hwy/base.h>
#include <hwy/contrib/sort/vqsort.h>

#include "bench/mapped_room.hpp"

namespace {

// Highway's sorter holds its buffer; one for the whole process, as Highway advises for repeated sorts.
hwy::Sorter const& highway_sorter()
{
    static hwy::Sorter const sorter;
    return sorter;
}

// ints are Highway's own 32-bit lanes, sorted in place.
struct by_highway_vqsort {
    static void run(int* first, int* last)
    {
        static_assert(sizeof(int) == sizeof(std::int32_t), "an int is a 32-bit lane");
        highway_sorter()(reinterpret_cast<std::int32_t*>(first), static_cast<std::size_t>(last - first),
                         hwy::SortAscending());
    }
};

// Highway's vectorised quicksort sorts 16-byte pairs whose key is the second field. Its sort
// turns the elements into such pairs in place, sorts them, and turns them back on the way into
// the output: both passes belong to this variant's sort.
static_assert(sizeof(hwy::K64V64) == sizeof(element), "a pair and an element fill the same bytes");

hwy::K64V64 as_pair(element const& e)
{
    hwy::K64V64 pair;
    pair.key = e.key;
    pair.value = reinterpret_cast<std::uintptr_t>(e.payload);
    return pair;
}

element as_element(hwy::K64V64 const& pair)
{
    return element{pair.key, reinterpret_cast<void*>(static_cast<std::uintptr_t>(pair.value))};
}

// Highway 1.0.3 pads its pairs with the largest key, 2^64-1, and hands an item with that key back
// with the padding's payload: such items never enter its sort. They are the largest keys of all,
// equal among themselves, so they go to the end first and follow the sorted rest unchanged.
// Returns where they begin; before it the elements' bytes hold the sorted pairs.
element* highway_sort_as_pairs(element* first, element* last)
{
    constexpr std::uint64_t padding_key = std::numeric_limits<std::uint64_t>::max();
    element* const largest = std::partition(first, last, [](element const& e) { return e.key != padding_key; });
    // The pairs live in the elements' own bytes, both two 64-bit words of trivially copyable types.
    // Reading elements through the pair type is formally outside the aliasing rules; it holds in
    // practice because the sort between writing and reading the pairs is an opaque library call.
    for (element* i = first; i != largest; ++i) {
        hwy::K64V64 const pair = as_pair(*i);
        std::memcpy(static_cast<void*>(i), &pair, sizeof pair);
    }
    highway_sorter()(reinterpret_cast<hwy::K64V64*>(first), static_cast<std::size_t>(largest - first),
                     hwy::SortAscending());
    return largest;
}

void highway_vqsort(element* first, element* last, checked_output into)
{
    element* const largest = highway_sort_as_pairs(first, last);
    auto const* const pairs = reinterpret_cast<hwy::K64V64 const*>(first);
    for (std::size_t i = 0, n = static_cast<std::size_t>(largest - first); i < n; ++i, ++into) *into = as_element(pairs[i]);
    std::copy(largest, last, into);
}

// With mapped storage the pairs turn back into elements where they lie.
element* highway_vqsort_kept(element* first, element* last, mapped_room&)
{
    element* const largest = highway_sort_as_pairs(first, last);
    auto const* const pairs = reinterpret_cast<hwy::K64V64 const*>(first);
    for (std::size_t i = 0, n = static_cast<std::size_t>(largest - first); i < n; ++i) {
        element const e = as_element(pairs[i]);
        std::memcpy(static_cast<void*>(first + i), &e, sizeof e);
    }
    return first;
}

void highway_vqsort_ints(int* first, int* last, checked_output_of<int> into)
{
    by_highway_vqsort::run(first, last);
    std::copy(first, last, into);
}

int* highway_vqsort_ints_kept(int* first, int* last, mapped_room&)
{
    by_highway_vqsort::run(first, last);
    return first;
}

}  // namespace

std::vector<variant> highway_variants()
{
    highway_sorter();
    return {{"vqsort", "Highway vqsort", variant_group::peer, highway_vqsort, nullptr, highway_vqsort_ints, nullptr,
             highway_vqsort_kept, highway_vqsort_ints_kept, nullptr}};
}

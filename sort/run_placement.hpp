#pragma once
// How a call turns its range into the sorted runs it merges.
//
// A base case sorts its parts in place and adds them as they lie. A recursive call rotates by one
// part: part 0, the largest (m0 elements), is sorted into the scratch block; every later part i is
// sorted to m0 elements before its own start, which only covers parts already consumed, since no
// part is longer than m0; finally the scratch block is copied to the last m0 places. The runs
// then tile the range without a gap and without a second array.
//
// The tree lets equivalent items leave from the higher input slot first. A stable order
// (funnel::stable_order) therefore gets its runs in the slots in reverse: the run of the last
// part in slot 0, the run of part 0 in the highest slot; and its parts sorted stably.

#include <algorithm>
#include <cstdint>
#include <functional>

#if __has_include(<boost/sort/pdqsort/pdqsort.hpp>)
#include <boost/sort/pdqsort/pdqsort.hpp>
#define FUNNEL_HAS_PDQSORT 1
#endif

#include "funnel/stable_order.hpp"
#include "items/element.hpp"
#include "sort/small_sort.hpp"
#include "sort/stable_small_sort.hpp"
#include "sort/tuning.hpp"

// The sort of a base-case part in the tree's order: element's own sort for its key order (the
// same result as std::sort, faster); for int in its natural order, where equivalent items are
// equal and every sort therefore gives std::sort's result, a branch-free quicksort where Boost's
// headers are at hand; std::sort for every other order. For a stable order: element's own
// stable sort for its key order, the int sort above for int (equal ints are alike, so every sort
// is stable), std::stable_sort for every other order.
inline void base_sort(element* first, element* last, std::less<element>) { small_sort(first, last); }

inline void base_sort(int* first, int* last, std::less<int> less)
{
#ifdef FUNNEL_HAS_PDQSORT
    (void)less;
    boost::sort::pdqsort_branchless(first, last);
#else
    std::sort(first, last, less);
#endif
}

template <class T, class Less>
void base_sort(T* first, T* last, Less less)
{
    std::sort(first, last, less);
}

template <class T, class Less>
void base_sort(T* first, T* last, funnel::stable_order<Less> order)
{
    std::stable_sort(first, last, order.less);
}

inline void base_sort(element* first, element* last, funnel::stable_order<std::less<element>>)
{
    stable_small_sort(first, last);
}

inline void base_sort(int* first, int* last, funnel::stable_order<std::less<int>> order)
{
    base_sort(first, last, order.less);
}

// Whether the tree's runs go into its slots in reverse part order (see above).
template <class Merger>
constexpr bool reversed_slots()
{
    return funnel::keeps_input_order<typename Merger::merger_type::order_type>::value;
}

// Sorts the base-case parts in place, each as the tree's order asks (the plain key order: exactly
// as std::sort would), and adds each as a run.
template <class Merger, class T>
void sort_and_add_base_parts(Merger& tree, T* first, range_split const& s)
{
    T* start = first;
    for (std::uint64_t i = 0; i < s.k; ++i) {
        T* const end = start + base_part_size(s, i);
        Merger::refill_type::reading(start, end);
        base_sort(start, end, tree.merger.order);
        if (!reversed_slots<Merger>()) tree.add_input(start, end);
        start = end;
    }
    if (!reversed_slots<Merger>()) return;
    // Back from the range's end: part k-1 into slot 0, ..., part 0 into the highest slot.
    T* end = start;
    for (std::uint64_t i = s.k; i-- > 0;) {
        T* const part = end - base_part_size(s, i);
        tree.add_input(part, end);
        end = part;
    }
}

// Sorts every part of a recursive call with sort_part(part_first, part_last, out) into its
// rotated place, using the scratch block of s.m0 elements for part 0.
template <class T, class SortPart>
void sort_parts_rotated(T* first, T* last, range_split const& s, T* scratch, SortPart sort_part)
{
    T* start = first;
    for (std::uint64_t i = 0; i < s.k; ++i) {
        T* const end = start + recursive_part_size(s, i);
        sort_part(start, end, i == 0 ? scratch : start - s.m0);
        start = end;
    }
    std::copy(scratch, scratch + s.m0, last - s.m0);
}

// Adds the runs left by sort_parts_rotated, which lie in memory as the outputs of parts 1 .. k-1,
// then part 0's: in that order, or for a stable order in reverse part order (parts k-1 .. 1, then
// part 0 in the highest slot).
template <class Merger, class T>
void add_rotated_runs(Merger& tree, T* first, range_split const& s)
{
    if (!reversed_slots<Merger>()) {
        T* start = first;
        for (std::uint64_t i = 1; i <= s.k; ++i) {
            T* const end = start + recursive_part_size(s, i % s.k);
            tree.add_input(start, end);
            start = end;
        }
        return;
    }
    // Back from the start of part 0's run, the last in memory: parts k-1 .. 1, then part 0.
    T* const range_end = first + s.k * s.q + s.r;
    T* const part_0 = range_end - recursive_part_size(s, 0);
    T* end = part_0;
    for (std::uint64_t i = s.k - 1; i >= 1; --i) {
        T* const part = end - recursive_part_size(s, i);
        tree.add_input(part, end);
        end = part;
    }
    tree.add_input(part_0, range_end);
}

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
#include "sort/tuning.hpp"

// The sort of a base-case part in the tree's order: element's own sort for its key order (the
// same result as std::sort, faster); for int in its natural order, where equivalent items are
// equal and every sort therefore gives std::sort's result, a branch-free quicksort where Boost's
// headers are at hand; std::sort for every other order; std::stable_sort for a stable one.
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
    // Parts of q items come first, then r of q + 1; i = k gives the end of the range.
    std::uint64_t const short_parts = s.k - s.r;
    auto const part_start = [&](std::uint64_t i) { return first + i * s.q + (i > short_parts ? i - short_parts : 0); };
    for (std::uint64_t i = 0; i < s.k; ++i) {
        base_sort(part_start(i), part_start(i + 1), tree.merger.order);
    }
    for (std::uint64_t j = 0; j < s.k; ++j) {
        std::uint64_t const i = reversed_slots<Merger>() ? s.k - 1 - j : j;
        tree.add_input(part_start(i), part_start(i + 1));
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
    // The start of the j-th run in memory: parts 1 .. r-1 have q + 1 items, the others q; j = k
    // gives the end of the range.
    auto const run_start = [&](std::uint64_t j) {
        return first + (j == s.k ? s.k * s.q + s.r : j * s.q + std::min(j, s.r == 0 ? 0 : s.r - 1));
    };
    if (!reversed_slots<Merger>()) {
        for (std::uint64_t j = 0; j < s.k; ++j) {
            tree.add_input(run_start(j), run_start(j + 1));
        }
        return;
    }
    for (std::uint64_t j = s.k - 1; j-- > 0;) {
        tree.add_input(run_start(j), run_start(j + 1));
    }
    tree.add_input(run_start(s.k - 1), run_start(s.k));
}

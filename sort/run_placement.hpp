#pragma once
// How a call turns its range into the sorted runs it merges.
//
// A base case sorts its parts in place and adds them as they lie. A recursive call rotates by one
// part: part 0, the largest (m0 elements), is sorted into the scratch block; every later part i is
// sorted to m0 elements before its own start, which only covers parts already consumed, since no
// part is longer than m0; finally the scratch block is copied to the last m0 places. The runs
// then tile the range without a gap and without a second array.

#include <algorithm>
#include <cstdint>

#include <boost/sort/pdqsort/pdqsort.hpp>

#include "items/element.hpp"
#include "sort/small_sort.hpp"
#include "sort/tuning.hpp"

// The sort of a base-case part: element's own sort (the same result as std::sort, faster); for
// int, where equivalent items are equal and every sort therefore gives std::sort's result, a
// branch-free quicksort; std::sort for every other item type, whose equivalent items may differ.
inline void base_sort(element* first, element* last) { small_sort(first, last); }

inline void base_sort(int* first, int* last) { boost::sort::pdqsort_branchless(first, last); }

template <class T>
void base_sort(T* first, T* last)
{
    std::sort(first, last);
}

// Sorts the base-case parts in place, each exactly as std::sort would, and adds each as a run, in
// order.
template <class Merger, class T>
void sort_and_add_base_parts(Merger& tree, T* first, range_split const& s)
{
    T* start = first;
    for (std::uint64_t i = 0; i < s.k; ++i) {
        T* const end = start + base_part_size(s, i);
        base_sort(start, end);
        tree.add_input(start, end);
        start = end;
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

// Adds the runs left by sort_parts_rotated: the outputs of parts 1 .. k-1, then part 0's.
template <class Merger, class T>
void add_rotated_runs(Merger& tree, T* first, range_split const& s)
{
    T* start = first;
    for (std::uint64_t i = 1; i <= s.k; ++i) {
        T* const end = start + recursive_part_size(s, i % s.k);
        tree.add_input(start, end);
        start = end;
    }
}

#pragma once
// funnel::sort and funnel::stable_sort: the funnel merge sort as a library, for any random-access
// range, value type and strict weak ordering.
//
//     #include <funnel_sort/sort.hpp>
//     funnel::sort(v.begin(), v.end());                              // like std::sort
//     funnel::stable_sort(v.begin(), v.end(), by_name);              // like std::stable_sort
//     funnel::sort(v.begin(), v.end(), std::greater<>(), funnel::tuning{4, 2.5f});
//
// Requirements: RandomIt is a random-access iterator whose value type T is move-constructible
// and move-assignable (a default constructor and copies are not needed); comp is a strict weak
// ordering on T, callable as a const object on two const T.
//
// Guarantees (docs/library.md has the whole reference):
// - O(n log n) comparisons; O((n / B) log_M n) cache misses for a cache of M bytes in lines of B,
//   without knowing M or B, on items that are sorted directly (see memory below).
// - Extra memory: items that copy without throwing and need no destructor (element, int, pairs
//   of them, ...) are sorted in a working copy of n items, plus about n^(1/d + 1/2) items of
//   merge trees and one scratch block per recursion depth; every other type is moved into a
//   contiguous array of n items, and two arrays of n pointers are sorted instead.
// - If comp, a move or an allocation throws, the exception reaches the caller, every item of
//   the range is a valid object (its value unspecified), nothing leaks and nothing is destroyed
//   twice.
// - stable_sort keeps equivalent items in their input order.
// - Calls on different ranges may run at once on different threads; the sort keeps no state
//   between calls other than a per-thread hint of how ordered the last merges found their input.

#include <cstdint>
#include <functional>
#include <iterator>

#include "funnel/tuning.hpp"
#include "funnel_sort/detail/face.hpp"

namespace funnel {

// The tuning the overloads without one sort at; see docs/library.md for how it was chosen.
constexpr tuning library_tuning{4, 2.5f};

template <class RandomIt, class Compare>
void sort(RandomIt first, RandomIt last, Compare comp, tuning t)
{
    detail::sort_range<detail::unstable>(first, last, comp, t);
}

template <class RandomIt, class Compare>
void sort(RandomIt first, RandomIt last, Compare comp)
{
    funnel::sort(first, last, comp, library_tuning);
}

template <class RandomIt>
void sort(RandomIt first, RandomIt last)
{
    funnel::sort(first, last, std::less<>(), library_tuning);
}

template <class RandomIt, class Compare>
void stable_sort(RandomIt first, RandomIt last, Compare comp, tuning t)
{
    detail::sort_range<detail::stable>(first, last, comp, t);
}

template <class RandomIt, class Compare>
void stable_sort(RandomIt first, RandomIt last, Compare comp)
{
    funnel::stable_sort(first, last, comp, library_tuning);
}

template <class RandomIt>
void stable_sort(RandomIt first, RandomIt last)
{
    funnel::stable_sort(first, last, std::less<>(), library_tuning);
}

}  // namespace funnel

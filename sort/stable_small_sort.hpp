#pragma once
// The stable sort of the drivers' base-case parts of elements: equal keys keep their input order.
//
// A part whose keys all differ has one sorted order, which every sort gives, stable or not: such
// parts go to the base case's branch-free quicksort (small_quicksort.hpp), which gives up when it
// meets two equal keys. Those parts, and parts the sample already shows to hold equal keys, go to
// a merge sort: it halves the part down to groups of at most 16, places those by stable rank, and
// merges halves with branch-free merges between the part and a scratch array, each taking from the
// left half on equal keys.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "funnel/merger.hpp"
#include "items/element.hpp"
#include "sort/introsort_replica.hpp"
#include "sort/small_quicksort.hpp"
#include "sort/small_sort.hpp"
#include "sort/small_sort_avx512.hpp"
#include "sort/thread_scratch.hpp"

namespace small_sort_detail {

// The group the merge sort starts from, placed by stable rank in one step.
constexpr std::size_t stable_group = 16;

static_assert(introsort_replica::threshold == stable_group, "the portable stable placement takes whole groups");

// Merges the sorted runs a[0, na) and b[0, nb), whose lengths differ by at most one and are at
// least one, into out; on equal keys the element of a goes first. The merge runs from both ends at
// once, which gives the processor two independent chains of loads and compares: min(na, nb) steps
// at the front take the smallest elements, as many at the back the largest, and neither end can
// run past an input, since each reads at most min(na, nb) elements of either. An odd total leaves
// one element. Each step picks its source with funnel::blend's mask: the compiler turns a plain
// conditional into a branch, which on random keys mispredicts every other element.
inline void merge_halves_stably(element const* a, std::ptrdiff_t na, element const* b, std::ptrdiff_t nb,
                                element* out)
{
    // Halves already in order, as in ordered parts and runs of equal keys, are copied; so are
    // halves in reverse order, as in descending parts, where all of b goes strictly before a.
    if (!(b[0].key < a[na - 1].key)) {
        std::copy(b, b + nb, std::copy(a, a + na, out));
        return;
    }
    if (b[nb - 1].key < a[0].key) {
        std::copy(a, a + na, std::copy(b, b + nb, out));
        return;
    }
    std::ptrdiff_t const steps = std::min(na, nb);
    std::ptrdiff_t a_front = 0;
    std::ptrdiff_t b_front = 0;
    std::ptrdiff_t a_back = na - 1;
    std::ptrdiff_t b_back = nb - 1;
    element* out_back = out + na + nb - 1;
    for (std::ptrdiff_t step = 0; step < steps; ++step) {
        // Equal keys: a's first at the front, so b's first at the back.
        std::uint64_t const front_from_b = b[b_front].key < a[a_front].key;
        out[step] = *funnel::blend(0 - front_from_b, b + b_front, a + a_front);
        a_front += static_cast<std::ptrdiff_t>(1 - front_from_b);
        b_front += static_cast<std::ptrdiff_t>(front_from_b);
        std::uint64_t const back_from_a = b[b_back].key < a[a_back].key;
        *out_back-- = *funnel::blend(0 - back_from_a, a + a_back, b + b_back);
        a_back -= static_cast<std::ptrdiff_t>(back_from_a);
        b_back -= static_cast<std::ptrdiff_t>(1 - back_from_a);
    }
    if ((na + nb) % 2 == 1) {
        out[steps] = a_front <= a_back ? a[a_front] : b[b_front];
    }
}

// Sorts part[0, n) stably in place, with scratch[0, n) to merge from.
inline void stable_merge_sort(kernel inner, element* part, std::ptrdiff_t n, element* scratch);

// Sorts from[0, n) stably into to[0, n); from is left in any order.
inline void stable_merge_sort_into(kernel inner, element* from, std::ptrdiff_t n, element* to)
{
    if (n <= static_cast<std::ptrdiff_t>(stable_group)) {
        stable_merge_sort(inner, from, n, to);
        std::copy(from, from + n, to);
        return;
    }
    std::ptrdiff_t const half = n / 2;
    stable_merge_sort(inner, from, half, to);
    stable_merge_sort(inner, from + half, n - half, to + half);
    merge_halves_stably(from, half, from + half, n - half, to);
}

inline void stable_merge_sort(kernel inner, element* part, std::ptrdiff_t n, element* scratch)
{
    if (n <= static_cast<std::ptrdiff_t>(stable_group)) {
        if (inner == kernel::avx512) {
            small_sort_avx512::stable_place(part, static_cast<std::size_t>(n));
        } else {
            introsort_replica::stable_place(part, static_cast<std::size_t>(n));
        }
        return;
    }
    std::ptrdiff_t const half = n / 2;
    stable_merge_sort_into(inner, part, half, scratch);
    stable_merge_sort_into(inner, part + half, n - half, scratch + half);
    merge_halves_stably(scratch, half, scratch + half, n - half, part);
}

// stable_small_sort with the given inner loops; avx2 and avx512 only where available. Returns
// whether the part held equal keys, as small_sort_with does.
inline bool stable_small_sort_with(kernel inner, element* first, element* last, bool expect_equal_keys = false)
{
    auto const n = static_cast<std::size_t>(last - first);
    if (n > capacity) {
        std::stable_sort(first, last);
        return false;
    }
    if (n < 2) {
        return false;
    }
    // The quicksort needs two halves of capacity elements; the merge sort one.
    element* const scratch_elements = thread_scratch();
    part_shape const shape = shape_of(first, n);
    if (sorted_by_shape(shape, first, last)) {
        return false;
    }
    if (shape == part_shape::equal_keys) {
        // A part in order, equal keys included, is its own stable sort.
        if (!std::is_sorted(first, last)) {
            stable_merge_sort(inner, first, static_cast<std::ptrdiff_t>(n), scratch_elements);
        }
        return true;
    }
    if (!expect_equal_keys && n >= 8 && !sample_has_equal_keys(first, n) &&
        quicksort_with(inner, first, n, scratch_elements)) {
        return false;
    }
    stable_merge_sort(inner, first, static_cast<std::ptrdiff_t>(n), scratch_elements);
    return has_equal_neighbours(first, last);
}

}  // namespace small_sort_detail

// Sorts [first, last) by key, keeping elements with equal keys in their input order. As with
// small_sort, a part with equal keys makes the next one skip the quicksort; the hint is kept per
// thread and changes only the speed.
inline void stable_small_sort(element* first, element* last)
{
    thread_local bool expect_equal_keys = false;
    expect_equal_keys =
        small_sort_detail::stable_small_sort_with(small_sort_detail::best_kernel(), first, last, expect_equal_keys);
}

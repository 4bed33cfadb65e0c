#pragma once
// A replica of libstdc++'s std::sort on elements, for parts of at most 32,768 elements with equal
// keys: it leaves every part exactly as std::sort does, but its inner loops do not branch on
// comparisons, which mispredict all the time on keys that repeat in random order.
//
// std::sort is an introsort: while a range holds more than 16 elements, it moves the median of
// its second, middle and last keys to its front and partitions the rest around that key with
// Hoare's two scans, which swap each element not below the pivot, found from the left, with the
// next one not above it, found from the right, until the scans cross; past a depth limit it
// heap-sorts the range. A final insertion sort runs over the whole part. The replica differs in
// three places, none of which changes a result:
// - the partition lists, in one pass each, the places where the left scan could stop (keys not
//   below the pivot, in rising order) and where the right scan could (keys not above it, in
//   falling order); the scans swap the k-th of each list while the k-th on the left lies before
//   the k-th on the right, and the left scan then stops at the earlier of its next place and the
//   last place swapped on the right (which now holds a key not below the pivot);
// - the final insertion sort never moves a key across the border of two ranges the partitions
//   left, since every key of a range is at most every key of the next one; so it is the same as
//   an insertion sort of each range on its own, which is stable, and the replica places each
//   range's elements by their stable ranks instead;
// - a range past the depth limit is heap-sorted by std::partial_sort(first, last, last), which is
//   the very call std::sort makes there.
// This holds for libstdc++'s introsort (GCC 4 to at least 12); the tests compare the two.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "items/element.hpp"
#include "sort/item_room.hpp"
#include "sort/thread_block.hpp"

namespace introsort_replica {

// Ranges up to this size are left to the final insertion sort (libstdc++'s _S_threshold).
constexpr std::ptrdiff_t threshold = 16;

// The largest part the position lists have room for.
constexpr std::size_t capacity = 32768;

// Each list has room for capacity places and the sixteen a vector store may write past its last one.
constexpr std::size_t stops_room = capacity + 16;

// The two lists of places, 256 KiB: too much for the stack of a caller's thread, so one heap block
// per thread, made for its first part and kept for its life. The partition that fills them is
// done with them before the recursion goes on, so one pair serves every level.
struct stop_lists {
    std::uint32_t* left;
    std::uint32_t* right;
};

inline stop_lists thread_stop_lists()
{
    constexpr std::size_t bytes = 2 * stops_room * sizeof(std::uint32_t);
    auto* const lists = static_cast<std::uint32_t*>(per_thread::block<stop_lists, bytes>());
    return {lists, lists + stops_room};
}

// std::__move_median_to_first(result, a, b, c), branch for branch.
inline void move_median_to_first(element* result, element* a, element* b, element* c)
{
    if (a->key < b->key) {
        if (b->key < c->key) {
            std::iter_swap(result, b);
        } else if (a->key < c->key) {
            std::iter_swap(result, c);
        } else {
            std::iter_swap(result, a);
        }
    } else if (a->key < c->key) {
        std::iter_swap(result, a);
    } else if (b->key < c->key) {
        std::iter_swap(result, c);
    } else {
        std::iter_swap(result, b);
    }
}

// Lists the offsets in first[0, n) where Hoare's scans could stop for the pivot: those of keys
// not below it, rising, in left_stops, and those of keys not above it, falling, in right_stops;
// each list has room for n + 16 offsets. Returns the two list lengths through lefts and rights.
inline void list_stops(element const* first, std::size_t n, std::uint64_t pivot, std::uint32_t* left_stops,
                       std::size_t& lefts, std::uint32_t* right_stops, std::size_t& rights)
{
    lefts = 0;
    rights = 0;
    for (std::size_t i = 0; i < n; ++i) {
        left_stops[lefts] = static_cast<std::uint32_t>(i);
        lefts += !(first[i].key < pivot);
        std::size_t const j = n - 1 - i;
        right_stops[rights] = static_cast<std::uint32_t>(j);
        rights += !(pivot < first[j].key);
    }
}

// Places the n <= threshold elements of part by stable rank: after the keys below its own, and
// after the equal keys before it.
inline void stable_place(element* part, std::size_t n)
{
    item_room<element, threshold> room;
    element* const items = room.data();
    std::copy(part, part + n, items);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t rank = 0;
        for (std::size_t j = 0; j < i; ++j) {
            rank += items[j].key <= items[i].key;
        }
        for (std::size_t j = i + 1; j < n; ++j) {
            rank += items[j].key < items[i].key;
        }
        part[rank] = items[i];
    }
}

// The inner loops above, for introsort_loop.
struct portable_steps {
    static void list_stops(element const* first, std::size_t n, std::uint64_t pivot, std::uint32_t* left_stops,
                           std::size_t& lefts, std::uint32_t* right_stops, std::size_t& rights)
    {
        introsort_replica::list_stops(first, n, pivot, left_stops, lefts, right_stops, rights);
    }
    static void stable_place(element* part, std::size_t n) { introsort_replica::stable_place(part, n); }
};

// std::__unguarded_partition(first, last, pivot) for a pivot key that lies before first.
template <class Steps>
element* unguarded_partition(element* first, element* last, std::uint64_t pivot, stop_lists stops)
{
    auto const n = static_cast<std::size_t>(last - first);
    std::uint32_t* const left_stops = stops.left;
    std::uint32_t* const right_stops = stops.right;
    std::size_t lefts = 0;
    std::size_t rights = 0;
    Steps::list_stops(first, n, pivot, left_stops, lefts, right_stops, rights);
    std::size_t const pairs = std::min(lefts, rights);
    std::size_t k = 0;
    while (k < pairs && left_stops[k] < right_stops[k]) {
        std::iter_swap(first + left_stops[k], first + right_stops[k]);
        ++k;
    }
    // The left scan's k-th stop: its next place, unless the last swap put a key not below the
    // pivot in its way first.
    std::size_t cut = k < lefts ? left_stops[k] : n;
    if (k > 0) {
        cut = std::min<std::size_t>(cut, right_stops[k - 1]);
    }
    return first + cut;
}

// std::__introsort_loop followed by the final insertion sort of [first, last).
template <class Steps>
void introsort_loop(element* first, element* last, int depth_limit, stop_lists stops)
{
    while (last - first > threshold) {
        if (depth_limit == 0) {
            std::partial_sort(first, last, last);
            return;
        }
        --depth_limit;
        element* const middle = first + (last - first) / 2;
        move_median_to_first(first, first + 1, middle, last - 1);
        element* const cut = unguarded_partition<Steps>(first + 1, last, first->key, stops);
        introsort_loop<Steps>(cut, last, depth_limit, stops);
        last = cut;
    }
    Steps::stable_place(first, static_cast<std::size_t>(last - first));
}

// The depth limit std::sort starts with: twice the floor of log2(n).
inline int depth_limit(std::size_t n)
{
    int log2 = 0;
    while (n > 1) {
        n >>= 1;
        ++log2;
    }
    return 2 * log2;
}

}  // namespace introsort_replica

// Sorts [first, last), at most introsort_replica::capacity elements, leaving it exactly as
// std::sort(first, last) does, with the inner loops of Steps (see portable_steps).
template <class Steps = introsort_replica::portable_steps>
void introsort_replica_sort(element* first, element* last)
{
    auto const n = static_cast<std::size_t>(last - first);
    if (n > 1) {
        introsort_replica::introsort_loop<Steps>(first, last, introsort_replica::depth_limit(n),
                                                 introsort_replica::thread_stop_lists());
    }
}

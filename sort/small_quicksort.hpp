#pragma once
// The quicksort of the base-case sort (small_sort.hpp) for parts with distinct keys. Its inner
// loops have no data-dependent branch, since a branch on the comparison of random keys
// mispredicts half the time: the partition writes every element to both ends of the free space in
// a second buffer and advances one end, down to groups of a few elements that are written
// straight to their ranks. It works in scratch and gives up as soon as it meets two equal keys,
// or when its recursion runs too deep, leaving the part untouched.
//
// The loops come from a Kernel: portable_kernel below, or the AVX-512 one (small_sort_avx512.hpp).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "items/element.hpp"

namespace small_sort_detail {

// Parts longer than this go to std::sort directly. The drivers' base case with the benchmark's
// tuning has at most 318 elements. The fastest whole sorts measured come from thresholds of
// 10,000 and more whose parts stay within this size: with AVX-512 a base-case part costs about
// 0.6 ns per element and halving up to this size, a merge level about 1.5 ns per element, so each
// halving the base case takes over saves time. The scratch is twice this many elements
// (thread_scratch.hpp).
constexpr std::size_t capacity = 32768;

// Ranges of at most this many elements are placed by rank: every element is compared with every
// other one, which costs fewer instructions than further partition passes.
constexpr std::size_t rank_group = 16;

// Partition levels allowed before the sort gives up. Random parts of capacity elements reach
// depths of 19 to 25 with the portable loops (the deepest of 300 parts), 15 to 19 with AVX-512's
// larger rank groups; 32 leaves room for the unlucky ones, so only inputs that defeat the median
// of three take the path for equal keys, which is std::sort's own, after at most 32 passes.
constexpr int max_depth = 32;

// Copies from[0, n) to to[0, n), the keys below pivot to the front and the others to the back,
// and returns the number of keys below pivot. Each element is written to both ends of the space
// still free, and only the end it belongs to advances; the other copy is overwritten later.
inline std::size_t partition_into(element const* from, element* to, std::size_t n, std::uint64_t pivot)
{
    // The ends advance in bytes, so that the step is the comparison times 16 with no scaling, and
    // each element is read once into registers before its two stores.
    unsigned char* low = reinterpret_cast<unsigned char*>(to);
    unsigned char* high = reinterpret_cast<unsigned char*>(to + n - 1);
    for (std::size_t i = 0; i < n; ++i) {
        element const e = from[i];
        std::size_t const step = static_cast<std::size_t>(e.key < pivot) * sizeof(element);
        std::memcpy(low, &e, sizeof(element));
        std::memcpy(high, &e, sizeof(element));
        low += step;
        high += step;
        high -= sizeof(element);
    }
    return static_cast<std::size_t>(low - reinterpret_cast<unsigned char*>(to)) / sizeof(element);
}

// Writes the n <= rank_group elements of from to their ranks in to; from and to may be the same
// place. Returns false when two keys are equal: their ranks then collide. The ranks of distinct
// keys sum to n (n - 1) / 2, one for every pair; a pair of equal keys adds nothing.
inline bool place_by_rank(element const* from, element* to, std::size_t n)
{
    // Copied apart first, since to may overlap from; plain arrays, so that nothing is cleared.
    std::uint64_t keys[rank_group];
    void* payloads[rank_group];
    for (std::size_t i = 0; i < n; ++i) {
        keys[i] = from[i].key;
        payloads[i] = from[i].payload;
    }
    std::size_t rank_sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t rank = 0;
        for (std::size_t j = 0; j < n; ++j) {
            rank += keys[j] < keys[i];
        }
        to[rank] = element{keys[i], payloads[i]};
        rank_sum += rank;
    }
    return rank_sum == n * (n - 1) / 2;
}

inline std::uint64_t median_of_three(std::uint64_t a, std::uint64_t b, std::uint64_t c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// The inner loops of the sorter: partition_into, place_by_rank and the group size they suit.
// These are portable C++.
struct portable_kernel {
    static constexpr std::size_t rank_group = small_sort_detail::rank_group;
    static std::size_t partition_into(element const* from, element* to, std::size_t n, std::uint64_t pivot)
    {
        return small_sort_detail::partition_into(from, to, n, pivot);
    }
    static bool place_by_rank(element const* from, element* to, std::size_t n)
    {
        return small_sort_detail::place_by_rank(from, to, n);
    }
};

// Ranges of at least this many elements take the median of three medians of three as their
// pivot: it splits them closer to the middle, which saves partition passes over larger parts.
constexpr std::size_t ninther_from = 128;

// The pivot of a range: always one of its keys, so that a partition never leaves it whole.
inline std::uint64_t pivot_of(element const* from, std::size_t n)
{
    if (n < ninther_from) {
        return median_of_three(from[0].key, from[n / 2].key, from[n - 1].key);
    }
    std::size_t const eighth = n / 8;
    return median_of_three(median_of_three(from[0].key, from[eighth].key, from[2 * eighth].key),
                           median_of_three(from[3 * eighth].key, from[n / 2].key, from[5 * eighth].key),
                           median_of_three(from[6 * eighth].key, from[7 * eighth].key, from[n - 1].key));
}

// A range keeps its offset in all three places it passes through: the part itself (where it
// starts), and the two halves of the scratch, between which the partition passes alternate. The
// sorted groups all land in the first half, which finally holds the sorted part.
template <class Kernel>
class sorter {
public:
    sorter(element* part, element* scratch) : places_{part, scratch, scratch + capacity} {}

    element const* result() const { return places_[sorted_place]; }

    // Sorts the range [offset, offset + n) that lies in place `where` into the first scratch
    // half; false when it met equal keys or ran too deep.
    bool sort(int where, std::size_t offset, std::size_t n, int depth_left)
    {
        element const* const from = places_[where] + offset;
        if (n <= Kernel::rank_group) {
            return Kernel::place_by_rank(from, places_[sorted_place] + offset, n);
        }
        if (depth_left == 0) {
            return false;
        }
        int const next = where == sorted_place ? spare_place : sorted_place;
        std::uint64_t const pivot = pivot_of(from, n);
        std::size_t const below = Kernel::partition_into(from, places_[next] + offset, n, pivot);
        // The pivot is a median of sampled keys, so nothing below it means it is the smallest key
        // of the range and at least two of the samples share it.
        if (below == 0) {
            return false;
        }
        return sort(next, offset, below, depth_left - 1) &&
               sort(next, offset + below, n - below, depth_left - 1);
    }

    static constexpr int part_place = 0;

private:
    static constexpr int sorted_place = 1;
    static constexpr int spare_place = 2;

    element* places_[3];
};

template <class Kernel>
bool sort_into_scratch(element* part, std::size_t n, element* scratch)
{
    sorter<Kernel> s(part, scratch);
    if (s.sort(sorter<Kernel>::part_place, 0, n, max_depth)) {
        std::copy(s.result(), s.result() + n, part);
        return true;
    }
    return false;
}

}  // namespace small_sort_detail

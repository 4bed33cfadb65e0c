#pragma once
// The sort of the drivers' base-case parts. It leaves a part exactly as std::sort leaves it, but
// is several times faster.
//
// When all keys differ the sorted order is unique, so any sort yields what std::sort yields:
// such parts go to a branch-free quicksort in scratch (small_quicksort.hpp). Equal keys are
// another matter: std::sort is not stable, and where its introsort leaves equal keys is part of
// the drivers' output order. The quicksort gives up on meeting two equal keys, and such parts
// then go to std::sort, or with libstdc++ to its branch-free replica (introsort_replica.hpp),
// which leaves them exactly as std::sort does. Since the quicksort gives up late, a part that comes
// after one with equal keys skips it.
//
// Ordered parts cost a scan: a strictly ascending part is left alone and a strictly descending one
// reversed (its keys are distinct). A part whose keys are all equal gets the one order std::sort
// gives every such part of its length.
//
// Where the processor has AVX-512, the quicksort and the replica run their inner loops on eight
// keys at a time (small_sort_avx512.hpp), and the quicksort ranks groups three times as large;
// with AVX2 only, the quicksort runs on four keys at a time (small_sort_avx2.hpp); the portable
// loops serve every other x86-64.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "items/element.hpp"
#include "sort/introsort_replica.hpp"
#include "sort/small_quicksort.hpp"
#include "sort/small_sort_avx2.hpp"
#include "sort/small_sort_avx512.hpp"
#include "sort/thread_scratch.hpp"

namespace small_sort_detail {

static_assert(introsort_replica::capacity >= capacity, "every part the quicksort may pass on fits the replica");

// The quicksort's and the replica's inner loops with AVX-512, for processors that have it.
struct avx512_kernel {
    static constexpr std::size_t rank_group = small_sort_avx512::rank_group;
    static void list_stops(element const* first, std::size_t n, std::uint64_t pivot, std::uint32_t* left_stops,
                           std::size_t& lefts, std::uint32_t* right_stops, std::size_t& rights)
    {
        small_sort_avx512::list_stops(first, n, pivot, left_stops, lefts, right_stops, rights);
    }
    static void stable_place(element* part, std::size_t n) { small_sort_avx512::stable_place(part, n); }
    static std::size_t partition_into(element const* from, element* to, std::size_t n, std::uint64_t pivot)
    {
        return small_sort_avx512::partition_into(from, to, n, pivot);
    }
    static bool place_by_rank(element const* from, element* to, std::size_t n)
    {
        return small_sort_avx512::place_by_rank(from, to, n);
    }
};

// The quicksort's inner loops with AVX2, for processors that have it but not AVX-512; the replica
// keeps its portable loops there.
struct avx2_kernel {
    static constexpr std::size_t rank_group = small_sort_avx2::rank_group;
    static std::size_t partition_into(element const* from, element* to, std::size_t n, std::uint64_t pivot)
    {
        return small_sort_avx2::partition_into(from, to, n, pivot);
    }
    static bool place_by_rank(element const* from, element* to, std::size_t n)
    {
        return small_sort_avx2::place_by_rank(from, to, n);
    }
};

// What a first look at a part tells: for most parts of random keys it stops at the second or
// third element.
enum class part_shape {
    unordered,   // none of the below found
    ascending,   // strictly ascending: already sorted
    descending,  // strictly descending: sorted by reversing it
    equal_keys,  // two neighbours with equal keys
};

// n >= 2. Follows the run the first two elements start as far as it goes.
inline part_shape shape_of(element const* part, std::size_t n)
{
    std::size_t i = 1;
    if (part[0].key < part[1].key) {
        while (i + 1 < n && part[i].key < part[i + 1].key) {
            ++i;
        }
        if (i + 1 == n) {
            return part_shape::ascending;
        }
    } else if (part[1].key < part[0].key) {
        while (i + 1 < n && part[i + 1].key < part[i].key) {
            ++i;
        }
        if (i + 1 == n) {
            return part_shape::descending;
        }
    } else {
        return part_shape::equal_keys;
    }
    return part[i].key == part[i + 1].key ? part_shape::equal_keys : part_shape::unordered;
}

// Sorts a part that shape_of found strictly ascending (nothing to do) or strictly descending (its
// keys are distinct, so the reversal is its one sorted order); false for any other shape.
inline bool sorted_by_shape(part_shape shape, element* first, element* last)
{
    if (shape == part_shape::descending) {
        std::reverse(first, last);
    }
    return shape == part_shape::ascending || shape == part_shape::descending;
}

// The length of the run, rising or falling, not necessarily strictly, that starts the part.
inline std::size_t first_run(element const* part, std::size_t n)
{
    std::size_t i = 1;
    while (i < n && part[i].key == part[0].key) {
        ++i;
    }
    if (i < n && part[0].key < part[i].key) {
        while (i + 1 < n && !(part[i + 1].key < part[i].key)) {
            ++i;
        }
    } else {
        while (i + 1 < n && !(part[i].key < part[i + 1].key)) {
            ++i;
        }
    }
    return i + 1 < n ? i + 1 : n;
}

// Parts with few distinct keys would defeat the quicksort only after a pass or two: eight keys
// spread over the part are compared pairwise, which among a few dozen distinct keys finds a pair
// more often than not, for some 30 branch-free comparisons. n >= 8.
inline bool sample_has_equal_keys(element const* part, std::size_t n)
{
    constexpr std::size_t samples = 8;
    std::uint64_t keys[samples];
    for (std::size_t s = 0; s < samples; ++s) {
        keys[s] = part[s * (n - 1) / (samples - 1)].key;
    }
    bool equal = false;
    for (std::size_t s = 0; s < samples; ++s) {
        for (std::size_t t = s + 1; t < samples; ++t) {
            equal |= keys[s] == keys[t];
        }
    }
    return equal;
}

// std::sort learns about a part only through comparisons, and with all keys equal every
// comparison is false: where it moves each element depends on nothing but the part's length. So
// that order is found once per length, by letting std::sort sort positions, and is then applied
// by a copy. A few lengths are kept, since the drivers' base-case parts have one or two lengths
// per recursion level; the cache is per thread and starts zeroed.
class equal_key_orders {
public:
    // The position each place of a sorted all-equal part of n elements takes its element from;
    // room holds n elements, which it may overwrite.
    std::uint16_t const* order_for(std::size_t n, element* room)
    {
        for (entry const& e : entries_) {
            if (e.n == n) {
                return e.from;
            }
        }
        entry& e = entries_[next_];
        next_ = (next_ + 1) % lengths;
        element* const positions = room;
        for (std::size_t i = 0; i < n; ++i) {
            positions[i] = element{0, reinterpret_cast<void*>(i)};
        }
        std::sort(positions, positions + n);
        for (std::size_t i = 0; i < n; ++i) {
            e.from[i] = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(positions[i].payload));
        }
        e.n = n;
        return e.from;
    }

private:
    static constexpr std::size_t lengths = 4;
    static_assert(capacity <= 65536, "a position fits 16 bits");
    struct entry {
        std::size_t n;  // 0: unused
        std::uint16_t from[capacity];
    };
    entry entries_[lengths];
    std::size_t next_;
};

// Leaves a part whose keys are all equal exactly as std::sort would; scratch holds n elements.
inline void sort_equal_keys(element* part, std::size_t n, element* scratch)
{
    // 256 KiB of orders: on the heap, like the scratch, not in each thread's static storage.
    thread_local std::unique_ptr<equal_key_orders> orders;
    if (!orders) {
        orders = std::make_unique<equal_key_orders>();
    }
    std::uint16_t const* const from = orders->order_for(n, scratch);
    for (std::size_t i = 0; i < n; ++i) {
        scratch[i] = part[from[i]];
    }
    std::copy(scratch, scratch + n, part);
}

enum class kernel { portable, avx2, avx512 };

inline bool avx2_available() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt"); }

inline bool avx512_available() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("popcnt"); }

// The fastest inner loops this processor can run.
inline kernel best_kernel()
{
    return avx512_available() ? kernel::avx512 : avx2_available() ? kernel::avx2 : kernel::portable;
}

// Parts with equal keys, 2 to capacity elements; scratch holds n elements. A part whose keys are
// all equal takes its order from the cache above. Others go to std::sort itself, or with libstdc++
// to its replica, which gives the same result faster unless the part starts with a long run: on
// such parts std::sort's branches are well predicted and the replica's fixed work does not pay.
// Out of line, so that the common paths of small_sort_with stay small.
__attribute__((noinline)) inline void sort_with_equal_keys(kernel inner, element* first, element* last,
                                                         element* scratch)
{
    auto const n = static_cast<std::size_t>(last - first);
    if (first->key == last[-1].key &&
        std::all_of(first, last, [first](element const& e) { return e.key == first->key; })) {
        sort_equal_keys(first, n, scratch);
        return;
    }
#if defined(__GLIBCXX__)
    constexpr std::size_t long_run = 16;
    if (first_run(first, std::min(n, long_run)) < long_run) {
        if (inner == kernel::avx512) {
            introsort_replica_sort<avx512_kernel>(first, last);
        } else {
            introsort_replica_sort<introsort_replica::portable_steps>(first, last);
        }
        return;
    }
#else
    (void)inner;
#endif
    std::sort(first, last);
}

// The quicksort with the given inner loops: sorts part[0, n) and returns true, or gives up on
// meeting two equal keys and leaves the part as it was; scratch has room for 2 * capacity elements.
inline bool quicksort_with(kernel inner, element* part, std::size_t n, element* scratch)
{
    switch (inner) {
    case kernel::avx512:
        return sort_into_scratch<avx512_kernel>(part, n, scratch);
    case kernel::avx2:
        return sort_into_scratch<avx2_kernel>(part, n, scratch);
    case kernel::portable:
        break;
    }
    return sort_into_scratch<portable_kernel>(part, n, scratch);
}

// True when the sorted part holds two neighbours with equal keys.
inline bool has_equal_neighbours(element const* first, element const* last)
{
    return std::adjacent_find(first, last, [](element const& a, element const& b) { return a.key == b.key; }) != last;
}

// small_sort with the given inner loops; avx2 and avx512 only where available. Returns whether the
// part held equal keys; false also for parts it does not look into (fewer than two elements, or
// more than capacity). With expect_equal_keys the quicksort is not tried: it would give up on the
// first equal pair after most of its work.
inline bool small_sort_with(kernel inner, element* first, element* last, bool expect_equal_keys = false)
{
    auto const n = static_cast<std::size_t>(last - first);
    if (n > capacity) {
        std::sort(first, last);
        return false;
    }
    if (n < 2) {
        return false;
    }
    // The quicksort needs two halves of capacity elements.
    element* const scratch_elements = thread_scratch();
    part_shape const shape = shape_of(first, n);
    if (sorted_by_shape(shape, first, last)) {
        return false;
    }
    if (shape == part_shape::equal_keys) {
        sort_with_equal_keys(inner, first, last, scratch_elements);
        return true;
    }
    // The quicksort takes parts of eight elements and more.
    if (expect_equal_keys || n < 8) {
        sort_with_equal_keys(inner, first, last, scratch_elements);
        return has_equal_neighbours(first, last);
    }
    if (!sample_has_equal_keys(first, n) && quicksort_with(inner, first, n, scratch_elements)) {
        return false;
    }
    // Equal keys stop the quicksort most often, but not only they: look.
    sort_with_equal_keys(inner, first, last, scratch_elements);
    return has_equal_neighbours(first, last);
}

}  // namespace small_sort_detail

// Sorts [first, last) by key, with exactly the result of std::sort(first, last). The inner loops
// use AVX-512 or AVX2 where the processor has them. Consecutive parts tend to come from one input
// and to be alike, so after a part with equal keys the next one skips the quicksort; the hint is
// kept per thread and changes only the speed, never the result.
inline void small_sort(element* first, element* last)
{
    thread_local bool expect_equal_keys = false;
    expect_equal_keys = small_sort_detail::small_sort_with(small_sort_detail::best_kernel(), first, last, expect_equal_keys);
}

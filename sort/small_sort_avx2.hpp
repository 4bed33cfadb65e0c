#pragma once
// The quicksort's two inner loops (small_quicksort.hpp) with AVX2, for processors that have it but
// not AVX-512; the caller checks the CPU before calling them. A 256-bit register holds two
// elements, keys in lanes 0 and 2. AVX2 compares only signed 64-bit integers, so keys are compared
// with their top bit flipped, which orders them as unsigned.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "items/element.hpp"
#include "sort/item_room.hpp"

namespace small_sort_avx2 {

// Groups of up to this many elements are placed by rank: their keys fill at most four registers.
constexpr std::size_t rank_group = 16;

// For each set of a register's two elements below the pivot (bit e: element e), the 32-bit lanes
// of a permutation that brings those first, then the other.
struct element_orders {
    alignas(32) std::int32_t lanes[4][8];
};

inline constexpr element_orders partition_orders = {{
    {4, 5, 6, 7, 0, 1, 2, 3},  // none below: either order; this one keeps the pattern of {1}
    {0, 1, 2, 3, 4, 5, 6, 7},  // element 0 below
    {4, 5, 6, 7, 0, 1, 2, 3},  // element 1 below
    {0, 1, 2, 3, 4, 5, 6, 7},  // both below
}};

// Bits 0 and 1: which of the register's two elements have keys below the pivot.
__attribute__((target("avx2"))) inline unsigned below_pivot(__m256i v, __m256i flipped_pivots, __m256i top_bit)
{
    auto const below = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(flipped_pivots, _mm256_xor_si256(v, top_bit)))));
    return (below & 1) | (below >> 1 & 2);
}

// Copies from[0, n) to to[0, n), the keys below pivot to the front and the others to the back,
// and returns the number of keys below pivot. Each register is permuted so that its elements
// below the pivot come first and is stored at both ends of the free space, whole, while at least
// four places are free after it; the last few elements go one by one.
__attribute__((target("avx2,popcnt"))) inline std::size_t partition_into(element const* from, element* to,
                                                                          std::size_t n, std::uint64_t pivot)
{
    __m256i const top_bit = _mm256_set1_epi64x(static_cast<long long>(1ull << 63));
    __m256i const flipped_pivots = _mm256_set1_epi64x(static_cast<long long>(pivot ^ (1ull << 63)));
    std::size_t low = 0;
    std::size_t high = n;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 2) {
        __m256i const v = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(from + i));
        unsigned const below_set = below_pivot(v, flipped_pivots, top_bit);
        __m256i const placed = _mm256_permutevar8x32_epi32(
            v, _mm256_load_si256(reinterpret_cast<__m256i const*>(partition_orders.lanes[below_set])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + low), placed);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + high - 2), placed);
        auto const below = static_cast<std::size_t>(__builtin_popcount(below_set));
        low += below;
        high -= 2 - below;
    }
    for (; i < n; ++i) {
        element const e = from[i];
        std::size_t const below = e.key < pivot;
        to[low] = e;
        to[high - 1] = e;
        low += below;
        high -= 1 - below;
    }
    return low;
}

// Places the n <= 4 * Vectors elements of items by rank, as place_by_rank below does.
template <int Vectors>
__attribute__((target("avx2"))) inline bool place_ranked(element const* items, element* to, std::size_t n)
{
    __m256i const top_bit = _mm256_set1_epi64x(static_cast<long long>(1ull << 63));
    __m256i keys[Vectors];
    __m256i counts[Vectors];
    for (int v = 0; v < Vectors; ++v) {
        __m256i const first = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(items + 4 * v));
        __m256i const second = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(items + 4 * v + 2));
        // Keys of elements 0, 2, 1, 3 of the four, put back in order.
        keys[v] = _mm256_xor_si256(_mm256_permute4x64_epi64(_mm256_unpacklo_epi64(first, second), 0xd8), top_bit);
        counts[v] = _mm256_setzero_si256();
    }
    for (std::size_t j = 0; j < n; ++j) {
        __m256i const key = _mm256_set1_epi64x(static_cast<long long>(items[j].key ^ (1ull << 63)));
        for (int v = 0; v < Vectors; ++v) {
            // -1 in the lanes whose key is above key j.
            counts[v] = _mm256_sub_epi64(counts[v], _mm256_cmpgt_epi64(keys[v], key));
        }
    }
    alignas(32) std::uint64_t ranks[4 * Vectors];
    for (int v = 0; v < Vectors; ++v) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(ranks + 4 * v), counts[v]);
    }
    std::uint64_t rank_sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        to[ranks[i]] = items[i];
        rank_sum += ranks[i];
    }
    return rank_sum == n * (n - 1) / 2;
}

// Writes the n <= rank_group elements of from to their ranks in to; from and to may be the same
// place. Returns false when two keys are equal: their ranks then collide, and the ranks, which
// for distinct keys sum to n (n - 1) / 2, fall short. Lanes past n get ranks too, from whatever
// lies there, but nobody reads them.
__attribute__((target("avx2"))) inline bool place_by_rank(element const* from, element* to, std::size_t n)
{
    // Copied apart first, since to may overlap from.
    item_room<element, rank_group> room;
    element* const items = room.data();
    for (std::size_t i = 0; i < n; ++i) {
        items[i] = from[i];
    }
    switch ((n + 3) / 4) {
    case 1:
        return place_ranked<1>(items, to, n);
    case 2:
        return place_ranked<2>(items, to, n);
    case 3:
        return place_ranked<3>(items, to, n);
    default:
        return place_ranked<4>(items, to, n);
    }
}

}  // namespace small_sort_avx2

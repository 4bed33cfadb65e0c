#pragma once
// The two inner loops of the base-case sort with AVX-512F, for processors that have it; the
// caller checks the CPU before calling them. A 512-bit register holds four elements, keys in the
// even lanes and payloads in the odd ones.
//
// The partition compresses each register's elements below and not below the pivot into the low
// lanes of two registers and stores those with a lane mask. It never uses compress with a memory
// destination, which some processors (AMD Zen 4) run as slow microcode.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "items/element.hpp"

namespace small_sort_avx512 {

// Groups of up to this many elements are placed by rank: their keys fill at most four registers.
constexpr std::size_t rank_group = 32;

// The lanes of the first `count` elements of a register (count <= 4).
__attribute__((target("avx512f"))) inline __mmask8 element_lanes(unsigned count)
{
    return static_cast<__mmask8>((1u << (2 * count)) - 1);
}

// Writes the count elements of v, whose lanes are `lanes`, below pivot to the front end at
// to + low, which moves up, and the others below the back end at to + high, which moves down.
__attribute__((target("avx512f,popcnt"))) inline void split_into(__m512i v, __mmask8 lanes, unsigned count,
                                                                  __m512i pivots, element* to, std::size_t& low,
                                                                  std::size_t& high)
{
    auto const below_keys = static_cast<unsigned>(_mm512_mask_cmplt_epu64_mask(lanes & 0x55, v, pivots));
    unsigned const above_keys = lanes & 0x55 & ~below_keys;
    auto const below = static_cast<unsigned>(__builtin_popcount(below_keys));
    unsigned const above = count - below;
    auto const below_lanes = static_cast<__mmask8>(below_keys | below_keys << 1);
    auto const above_lanes = static_cast<__mmask8>(above_keys | above_keys << 1);
    _mm512_mask_storeu_epi64(to + low, element_lanes(below), _mm512_maskz_compress_epi64(below_lanes, v));
    high -= above;
    _mm512_mask_storeu_epi64(to + high, element_lanes(above), _mm512_maskz_compress_epi64(above_lanes, v));
    low += below;
}

// Copies from[0, n) to to[0, n), the keys below pivot to the front and the others to the back,
// and returns the number of keys below pivot.
__attribute__((target("avx512f,popcnt"))) inline std::size_t partition_into(element const* from, element* to,
                                                                             std::size_t n, std::uint64_t pivot)
{
    __m512i const pivots = _mm512_set1_epi64(static_cast<long long>(pivot));
    std::size_t low = 0;
    std::size_t high = n;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        split_into(_mm512_loadu_si512(from + i), 0xff, 4, pivots, to, low, high);
    }
    if (i < n) {
        auto const count = static_cast<unsigned>(n - i);
        __mmask8 const lanes = element_lanes(count);
        split_into(_mm512_maskz_loadu_epi64(lanes, from + i), lanes, count, pivots, to, low, high);
    }
    return low;
}

// Ranks of the n <= 8 * Vectors elements of items, written to ranks. Lanes past n get ranks too,
// from whatever lies there, but nobody reads them.
template <int Vectors>
__attribute__((target("avx512f"))) inline void rank_keys(element const* items, std::size_t n, std::uint64_t* ranks)
{
    __m512i const key_lanes = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
    __m512i keys[Vectors];
    __m512i counts[Vectors];
    for (int v = 0; v < Vectors; ++v) {
        __m512i const first = _mm512_loadu_si512(items + 8 * v);
        __m512i const second = _mm512_loadu_si512(items + 8 * v + 4);
        keys[v] = _mm512_permutex2var_epi64(first, key_lanes, second);
        counts[v] = _mm512_setzero_si512();
    }
    __m512i const one = _mm512_set1_epi64(1);
    for (std::size_t j = 0; j < n; ++j) {
        __m512i const key = _mm512_set1_epi64(static_cast<long long>(items[j].key));
        for (int v = 0; v < Vectors; ++v) {
            counts[v] = _mm512_mask_add_epi64(counts[v], _mm512_cmplt_epu64_mask(key, keys[v]), counts[v], one);
        }
    }
    for (int v = 0; v < Vectors; ++v) {
        _mm512_storeu_si512(ranks + 8 * v, counts[v]);
    }
}

// Writes the n <= rank_group elements of from to their ranks in to; from and to may be the same
// place. Returns false when two keys are equal: their ranks then collide, and the ranks, which
// for distinct keys sum to n (n - 1) / 2, fall short.
__attribute__((target("avx512f"))) inline bool place_by_rank(element const* from, element* to, std::size_t n)
{
    // Copied apart first, since to may overlap from.
    alignas(64) element items[rank_group];
    for (std::size_t i = 0; i < n; i += 4) {
        auto const count = static_cast<unsigned>(n - i < 4 ? n - i : 4);
        _mm512_store_si512(items + i, _mm512_maskz_loadu_epi64(element_lanes(count), from + i));
    }
    alignas(64) std::uint64_t ranks[rank_group];
    switch ((n + 7) / 8) {
    case 1:
        rank_keys<1>(items, n, ranks);
        break;
    case 2:
        rank_keys<2>(items, n, ranks);
        break;
    case 3:
        rank_keys<3>(items, n, ranks);
        break;
    default:
        rank_keys<4>(items, n, ranks);
        break;
    }
    std::uint64_t rank_sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        to[ranks[i]] = items[i];
        rank_sum += ranks[i];
    }
    return rank_sum == n * (n - 1) / 2;
}

}  // namespace small_sort_avx512

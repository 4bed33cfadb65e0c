#pragma once
// The two inner loops of the base-case sort with AVX-512F, for processors that have it; the
// caller checks the CPU before calling them. A 512-bit register holds four elements, keys in the
// even lanes and payloads in the odd ones.
//
// The partition permutes each register so that its elements below the pivot come first, and
// stores it at both ends of the free space. It uses no compress instruction: its form with a
// memory destination runs as slow microcode on some processors (AMD Zen 4), and one permutation
// from a table replaces the two compresses into registers.

#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "items/element.hpp"
#include "sort/item_room.hpp"

namespace small_sort_avx512 {

// Groups of up to this many elements are placed by rank: their keys fill at most six registers.
// Larger groups than the portable loops take pay, since one register compares eight keys at once.
constexpr std::size_t rank_group = 48;

// The lanes of the first `count` elements of a register (count <= 4).
__attribute__((target("avx512f"))) inline __mmask8 element_lanes(unsigned count)
{
    return static_cast<__mmask8>((1u << (2 * count)) - 1);
}

// For each set of a register's elements below the pivot (bit e: element e), the lanes of a
// permutation that brings those elements to the front in their order, then the others in theirs.
struct element_orders {
    alignas(64) std::int64_t lanes[16][8];
};

constexpr element_orders make_element_orders()
{
    element_orders orders{};
    for (int below = 0; below < 16; ++below) {
        int slot = 0;
        for (int wanted = 1; wanted >= 0; --wanted) {
            for (int e = 0; e < 4; ++e) {
                if (((below >> e) & 1) == wanted) {
                    orders.lanes[below][2 * slot] = 2 * e;
                    orders.lanes[below][2 * slot + 1] = 2 * e + 1;
                    ++slot;
                }
            }
        }
    }
    return orders;
}

inline constexpr element_orders partition_orders = make_element_orders();

// The front end to + low moves up, the back end to + high moves down; [low, high) is free.
struct partition_ends {
    element* to;
    std::size_t low;
    std::size_t high;
};

// Writes the four elements of v, of which those in below_set are below the pivot, to both ends
// as whole registers: the ones below the pivot come first in the register and land at the front
// end, the others come last and land at the back end. The rest of each store falls into the free
// space, which must hold at least eight elements.
__attribute__((target("avx512f,popcnt"))) inline void place_four(__m512i v, unsigned below_set, partition_ends& ends)
{
    __m512i const placed =
        _mm512_maskz_permutexvar_epi64(0xff, _mm512_load_si512(partition_orders.lanes[below_set]), v);
    auto const below = static_cast<std::size_t>(__builtin_popcount(below_set));
    _mm512_storeu_si512(ends.to + ends.low, placed);
    _mm512_storeu_si512(ends.to + ends.high - 4, placed);
    ends.low += below;
    ends.high -= 4 - below;
}

// The same for the first count <= 4 elements of v, with masked stores, which touch nothing but
// the places the elements go to.
__attribute__((target("avx512f,popcnt"))) inline void place_some(__m512i v, unsigned below_set, unsigned count,
                                                                  partition_ends& ends)
{
    __m512i const placed =
        _mm512_maskz_permutexvar_epi64(0xff, _mm512_load_si512(partition_orders.lanes[below_set]), v);
    auto const below = static_cast<unsigned>(__builtin_popcount(below_set));
    _mm512_mask_storeu_epi64(ends.to + ends.low, element_lanes(below), placed);
    _mm512_mask_storeu_epi64(ends.to + ends.high - count,
                             static_cast<__mmask8>(element_lanes(count) & ~element_lanes(below)), placed);
    ends.low += below;
    ends.high -= count - below;
}

// Copies from[0, n) to to[0, n), the keys below pivot to the front and the others to the back,
// and returns the number of keys below pivot.
__attribute__((target("avx512f,popcnt"))) inline std::size_t partition_into(element const* from, element* to,
                                                                             std::size_t n, std::uint64_t pivot)
{
    __m512i const pivots = _mm512_set1_epi64(static_cast<long long>(pivot));
    __m512i const key_lanes = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
    partition_ends ends{to, 0, n};
    std::size_t i = 0;
    // Eight elements a round, their keys compared in one register, while the free space after
    // the round still holds eight.
    for (; i + 16 <= n; i += 8) {
        __m512i const first = _mm512_loadu_si512(from + i);
        __m512i const second = _mm512_loadu_si512(from + i + 4);
        __m512i const keys = _mm512_permutex2var_epi64(first, key_lanes, second);
        auto const below_set = static_cast<unsigned>(_mm512_cmplt_epu64_mask(keys, pivots));
        place_four(first, below_set & 15, ends);
        place_four(second, below_set >> 4, ends);
    }
    for (; i < n; i += 4) {
        auto const count = static_cast<unsigned>(n - i < 4 ? n - i : 4);
        __mmask8 const lanes = element_lanes(count);
        __m512i const v = _mm512_maskz_loadu_epi64(lanes, from + i);
        auto const below_keys = static_cast<unsigned>(_mm512_mask_cmplt_epu64_mask(lanes & 0x55, v, pivots));
        unsigned const below_set =
            (below_keys & 1) | (below_keys >> 1 & 2) | (below_keys >> 2 & 4) | (below_keys >> 3 & 8);
        place_some(v, below_set, count, ends);
    }
    return ends.low;
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

// rank_keys with as many registers as n needs.
template <int Vectors>
__attribute__((target("avx512f"))) inline void rank_in_vectors(element const* items, std::size_t n,
                                                                std::uint64_t* ranks)
{
    if constexpr (8 * Vectors < rank_group) {
        if (n > 8 * Vectors) {
            rank_in_vectors<Vectors + 1>(items, n, ranks);
            return;
        }
    }
    rank_keys<Vectors>(items, n, ranks);
}

// Writes the n <= rank_group elements of from to their ranks in to; from and to may be the same
// place. Returns false when two keys are equal: their ranks then collide, and the ranks, which
// for distinct keys sum to n (n - 1) / 2, fall short.
__attribute__((target("avx512f"))) inline bool place_by_rank(element const* from, element* to, std::size_t n)
{
    // Copied apart first, since to may overlap from. The copy is zero-filled up to the whole
    // groups of eight that rank_keys loads, so that no lane it reads is uninitialised.
    item_room<element, rank_group, 64> room;
    element* const items = room.data();
    std::size_t const loaded = std::max<std::size_t>(8, (n + 7) / 8 * 8);
    for (std::size_t i = 0; i < loaded; i += 4) {
        auto const count = static_cast<unsigned>(n <= i ? 0 : n - i < 4 ? n - i : 4);
        _mm512_store_si512(items + i, _mm512_maskz_loadu_epi64(element_lanes(count), from + i));
    }
    alignas(64) std::uint64_t ranks[rank_group];
    rank_in_vectors<1>(items, n, ranks);
    std::uint64_t rank_sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        to[ranks[i]] = items[i];
        rank_sum += ranks[i];
    }
    return rank_sum == n * (n - 1) / 2;
}

// For the replica of std::sort (introsort_replica.hpp): list_stops and stable_place with the
// same results as the portable ones there.

// The keys of elements[0, 8) in rising order of place, or in falling order.
__attribute__((target("avx512f"))) inline __m512i keys_rising(element const* elements)
{
    return _mm512_permutex2var_epi64(_mm512_loadu_si512(elements), _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0),
                                     _mm512_loadu_si512(elements + 4));
}

__attribute__((target("avx512f"))) inline __m512i keys_falling(element const* elements)
{
    return _mm512_permutex2var_epi64(_mm512_loadu_si512(elements), _mm512_set_epi64(0, 2, 4, 6, 8, 10, 12, 14),
                                     _mm512_loadu_si512(elements + 4));
}

// Appends the offsets of the lanes in `chosen` to list at count; offsets[0, 8) are the lanes'
// offsets. The store writes sixteen entries, so the list has room for sixteen more than it holds.
__attribute__((target("avx512f,popcnt"))) inline void append_offsets(std::uint32_t* list, std::size_t& count,
                                                                      __mmask8 chosen, __m512i offsets)
{
    _mm512_storeu_si512(list + count, _mm512_maskz_compress_epi32(chosen, offsets));
    count += static_cast<std::size_t>(__builtin_popcount(chosen));
}

__attribute__((target("avx512f,popcnt"))) inline void list_stops(element const* first, std::size_t n,
                                                                  std::uint64_t pivot, std::uint32_t* left_stops,
                                                                  std::size_t& lefts, std::uint32_t* right_stops,
                                                                  std::size_t& rights)
{
    __m512i const pivots = _mm512_set1_epi64(static_cast<long long>(pivot));
    __m512i const lanes = _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 7, 6, 5, 4, 3, 2, 1, 0);
    lefts = 0;
    rights = 0;
    std::size_t const whole = n / 8 * 8;
    for (std::size_t i = 0; i < whole; i += 8) {
        __mmask8 const not_below = _mm512_cmpge_epu64_mask(keys_rising(first + i), pivots);
        append_offsets(left_stops, lefts, not_below, _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(i)), lanes));
    }
    for (std::size_t i = whole; i < n; ++i) {
        left_stops[lefts] = static_cast<std::uint32_t>(i);
        lefts += !(first[i].key < pivot);
    }
    for (std::size_t end = n; end >= 8; end -= 8) {
        __mmask8 const not_above = _mm512_cmple_epu64_mask(keys_falling(first + end - 8), pivots);
        append_offsets(right_stops, rights, not_above,
                       _mm512_sub_epi32(_mm512_set1_epi32(static_cast<int>(end - 1)), lanes));
    }
    for (std::size_t j = n % 8; j-- > 0;) {
        right_stops[rights] = static_cast<std::uint32_t>(j);
        rights += !(pivot < first[j].key);
    }
}

// n <= 16. Each element's stable rank counts the keys not above its own before it and those
// below it after it.
__attribute__((target("avx512f,popcnt"))) inline void stable_place(element* part, std::size_t n)
{
    item_room<element, 16, 64> room;
    element* const items = room.data();
    for (std::size_t i = 0; i < 16; i += 4) {
        std::size_t const count = i < n ? (n - i < 4 ? n - i : 4) : 0;
        _mm512_store_si512(items + i,
                           _mm512_maskz_loadu_epi64(element_lanes(static_cast<unsigned>(count)), part + i));
    }
    __m512i const low_keys = keys_rising(items);
    __m512i const high_keys = keys_rising(items + 8);
    unsigned const present = (1u << n) - 1;
    for (std::size_t i = 0; i < n; ++i) {
        __m512i const key = _mm512_set1_epi64(static_cast<long long>(items[i].key));
        unsigned const before = (1u << i) - 1;
        unsigned const after = present & ~((2u << i) - 1);
        unsigned const low = _mm512_mask_cmple_epu64_mask(static_cast<__mmask8>(before), low_keys, key) |
                             _mm512_mask_cmplt_epu64_mask(static_cast<__mmask8>(after), low_keys, key);
        unsigned const high = _mm512_mask_cmple_epu64_mask(static_cast<__mmask8>(before >> 8), high_keys, key) |
                              _mm512_mask_cmplt_epu64_mask(static_cast<__mmask8>(after >> 8), high_keys, key);
        part[__builtin_popcount(low | high << 8)] = items[i];
    }
}

}  // namespace small_sort_avx512

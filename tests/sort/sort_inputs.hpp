#pragma once
// Inputs and checks shared by the sorting tests: reproducible pseudo-random elements whose
// payloads number them, so that a sorted output can be checked for being a permutation of the
// input down to the payloads.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "items/element.hpp"

namespace test_support {

// n elements with keys drawn below key_bound (small bounds give many equal keys) and payloads
// 1 .. n.
inline std::vector<element> numbered_input(std::uint64_t n, std::uint64_t key_bound, std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::vector<element> items(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        items[i].key = key_bound == 0 ? random() : random() % key_bound;
        items[i].payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(i + 1));
    }
    return items;
}

inline bool by_key_then_payload(element const& a, element const& b)
{
    return a.key != b.key ? a.key < b.key : a.payload < b.payload;
}

inline bool same_elements(element const& a, element const& b) { return a.key == b.key && a.payload == b.payload; }

// True when output is in key order and holds exactly the elements of input, payloads included.
inline bool is_sorted_permutation(std::vector<element> const& input, std::vector<element> const& output)
{
    if (input.size() != output.size() || !std::is_sorted(output.begin(), output.end())) {
        return false;
    }
    std::vector<element> expected = input;
    std::vector<element> got = output;
    std::sort(expected.begin(), expected.end(), by_key_then_payload);
    std::sort(got.begin(), got.end(), by_key_then_payload);
    return std::equal(expected.begin(), expected.end(), got.begin(), same_elements);
}

}  // namespace test_support

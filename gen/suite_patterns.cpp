#include "gen/suite_patterns.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "gen/random_item.hpp"
#include "gen/zipf.hpp"
#include "items/factory.hpp"

namespace gen {

namespace {

std::uint64_t length(element const* first, element const* last) { return static_cast<std::uint64_t>(last - first); }

element with_key(std::uint64_t key)
{
    element e;
    e.key = key;
    e.payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(factory<element>::payload));
    return e;
}

// A position of [0, n), n >= 1, from one drand48 draw.
std::uint64_t random_position(std::uint64_t n)
{
    auto const position = static_cast<std::uint64_t>(drand48() * static_cast<double>(n));
    return std::min(position, n - 1);  // guards against rounding up to n for very large n
}

// A bijection of the 64-bit values that scatters neighbours far apart: an odd multiplier
// followed by the xor-shift-multiply rounds of the splitmix64 finaliser, each invertible.
std::uint64_t scatter(std::uint64_t x)
{
    constexpr std::uint64_t golden = 0x9e3779b97f4a7c15ULL;
    constexpr std::uint64_t mix1 = 0xbf58476d1ce4e5b9ULL;
    constexpr std::uint64_t mix2 = 0x94d049bb133111ebULL;
    constexpr int shift1 = 30;
    constexpr int shift2 = 27;
    constexpr int shift3 = 31;
    x *= golden;
    x = (x ^ (x >> shift1)) * mix1;
    x = (x ^ (x >> shift2)) * mix2;
    return x ^ (x >> shift3);
}

}  // namespace

int int_of_key(std::uint64_t key)
{
    constexpr std::int64_t lowest = -(std::int64_t{1} << 31);
    return static_cast<int>(lowest + static_cast<std::int64_t>(key >> 32));
}

record record_of_key(std::uint64_t key)
{
    constexpr int digits = 9;  // 255^8 < 2^64 <= 255^9
    record r{};
    for (int i = digits - 1; i >= 0; --i) {
        r.bytes[i] = static_cast<char>(static_cast<unsigned char>(key % 255 + 1));
        key /= 255;
    }
    return r;
}

element ranked_element(std::uint64_t rank, std::uint64_t ranks)
{
    // The highest rank lands within ranks of the top of the range; a single rank is key 0.
    std::uint64_t const spacing = ranks > 1 ? std::numeric_limits<std::uint64_t>::max() / (ranks - 1) : 0;
    return with_key(rank * spacing);
}

std::uint64_t floor_sqrt(std::uint64_t n)
{
    // The double root can be off by one either way for n near 2^64; the loops settle it.
    auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
    constexpr std::uint64_t largest_root = 0xffffffffULL;  // floor(sqrt(2^64 - 1))
    root = std::min(root, largest_root);
    while (root * root > n) --root;
    while (root < largest_root && (root + 1) * (root + 1) <= n) ++root;
    return root;
}

void fill_sorted(element* first, element* last)
{
    std::uint64_t const n = length(first, last);
    for (std::uint64_t i = 0; i < n; ++i) {
        first[i] = ranked_element(i, n);
    }
}

void fill_reverse(element* first, element* last)
{
    std::uint64_t const n = length(first, last);
    for (std::uint64_t i = 0; i < n; ++i) {
        first[i] = ranked_element(n - 1 - i, n);
    }
}

void fill_equal(element* first, element* last)
{
    if (first != last) {
        std::fill(first, last, random_item<element>());
    }
}

void fill_sorted_swaps(element* first, element* last)
{
    fill_sorted(first, last);
    std::uint64_t const n = length(first, last);
    for (std::uint64_t swaps = floor_sqrt(n); swaps > 0; --swaps) {
        std::uint64_t const i = random_position(n);
        std::uint64_t const j = random_position(n);
        std::swap(first[i], first[j]);
    }
}

void fill_organ(element* first, element* last)
{
    std::uint64_t const n = length(first, last);
    std::uint64_t const rising = (n + 1) / 2;
    for (std::uint64_t i = 0; i < n; ++i) {
        first[i] = ranked_element(i < rising ? i : n - 1 - i, rising);
    }
}

void fill_root_duplicates(element* first, element* last)
{
    std::uint64_t const n = length(first, last);
    std::uint64_t const distinct = floor_sqrt(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        first[i] = ranked_element(i % distinct, distinct);
    }
}

void fill_zipf(element* first, element* last)
{
    zipf_ranks const draw(length(first, last));
    for (element* e = first; e != last; ++e) {
        *e = with_key(scatter(draw()));
    }
}

}  // namespace gen

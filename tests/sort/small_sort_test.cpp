// The base-case sort must leave every part exactly as std::sort leaves it, payloads included, with
// or without the hint to expect equal keys, and must say whether the part held equal keys: equal
// keys decide where it hands over to std::sort, so inputs with and without them are checked.

#include "sort/small_sort.hpp"

#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "items/record.hpp"
#include "sort/run_placement.hpp"
#include "sort/stable_small_sort.hpp"
#include "tests/sort/sort_inputs.hpp"

namespace {

using test_support::numbered_input;
using test_support::same_elements;

// Every size up to the benchmark's base-case parts and beyond, then sizes a few percent apart up
// to the scratch capacity, and those at it, so that the direct hand-over to std::sort is covered
// too. The sanitizers' build, many times slower, takes fewer: sizes an eighth apart up to 8192,
// then only those at the capacity.
#ifdef KIT_SANITIZED_BUILD
constexpr std::uint64_t every_size_up_to = 130;
constexpr std::uint64_t size_step = 7;
constexpr std::uint64_t growth_divisor = 8;
constexpr std::uint64_t grow_up_to = 8192;
#else
constexpr std::uint64_t every_size_up_to = 600;
constexpr std::uint64_t size_step = 1;
constexpr std::uint64_t growth_divisor = 32;
constexpr std::uint64_t grow_up_to = small_sort_detail::capacity - 1;
#endif

std::vector<std::uint64_t> part_sizes()
{
    std::vector<std::uint64_t> sizes;
    for (std::uint64_t n = 0; n <= every_size_up_to; n += size_step) {
        sizes.push_back(n);
    }
    for (std::uint64_t n = sizes.back() + 1; n < grow_up_to; n += n / growth_divisor + 1) {
        sizes.push_back(n);
    }
    for (std::uint64_t n : {small_sort_detail::capacity - 1, small_sort_detail::capacity, small_sort_detail::capacity + 1}) {
        sizes.push_back(n);
    }
    return sizes;
}

// The inner loops this processor can run: the portable ones always, AVX2 and AVX-512 where they
// exist.
std::vector<small_sort_detail::kernel> kernels()
{
    std::vector<small_sort_detail::kernel> available = {small_sort_detail::kernel::portable};
    if (small_sort_detail::avx2_available()) {
        available.push_back(small_sort_detail::kernel::avx2);
    }
    if (small_sort_detail::avx512_available()) {
        available.push_back(small_sort_detail::kernel::avx512);
    }
    return available;
}

void expect_same_as_std_sort(std::vector<element> const& input, char const* shape)
{
    std::vector<element> expected = input;
    std::sort(expected.begin(), expected.end());
    bool const looks = input.size() >= 2 && input.size() <= small_sort_detail::capacity;
    bool const equal_keys = looks && small_sort_detail::has_equal_neighbours(expected.data(), expected.data() + expected.size());
    for (small_sort_detail::kernel inner : kernels()) {
        for (bool expect_equal_keys : {false, true}) {
            std::vector<element> got = input;
            bool const found = small_sort_detail::small_sort_with(inner, got.data(), got.data() + got.size(), expect_equal_keys);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin(), same_elements))
                << shape << ", n = " << input.size() << ", kernel " << static_cast<int>(inner) << ", hint "
                << expect_equal_keys;
            ASSERT_EQ(found, equal_keys) << shape << ", n = " << input.size() << ", kernel " << static_cast<int>(inner);
        }
    }
    std::vector<element> got = input;
    small_sort(got.data(), got.data() + got.size());
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin(), same_elements))
        << shape << ", n = " << input.size();
}

// Keys from a function of the position, payloads numbering the elements.
std::vector<element> shaped(std::uint64_t n, std::function<std::uint64_t(std::uint64_t)> key)
{
    std::vector<element> items(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        items[i] = element{key(i), reinterpret_cast<void*>(static_cast<std::uintptr_t>(i + 1))};
    }
    return items;
}

TEST(SmallSort, RandomKeysSortAsStdSortDoes)
{
    for (std::uint64_t n : part_sizes()) {
        expect_same_as_std_sort(numbered_input(n, 0, n), "distinct");
        expect_same_as_std_sort(numbered_input(n, 4 * n + 1, n + 1), "some equal");
        expect_same_as_std_sort(numbered_input(n, 5, n + 2), "few distinct");
    }
}

TEST(SmallSort, OrderedShapesSortAsStdSortDoes)
{
    for (std::uint64_t n : part_sizes()) {
        expect_same_as_std_sort(shaped(n, [](std::uint64_t i) { return i; }), "ascending");
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return n - i; }), "descending");
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return std::min(i, n - i); }), "organ pipe");
        expect_same_as_std_sort(shaped(n, [](std::uint64_t i) { return i % 16; }), "saw tooth");
        expect_same_as_std_sort(shaped(n, [](std::uint64_t) { return 42; }), "all equal");
        expect_same_as_std_sort(shaped(n, [](std::uint64_t i) { return i / 3; }), "ascending with equal keys");
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return (n - i) / 3; }), "descending with equal keys");
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return i < n / 2 ? 2 * i : 2 * (n - i) + 1; }),
                                "organ pipe, distinct");
        // A run broken only by its last element, by a smaller key or by an equal one.
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return i + 1 < n ? i + 10 : 5; }),
                                "ascending, then low");
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return i + 1 < n ? n - i : 2; }),
                                "descending, then equal");
        // Median-of-three killers make the partition lopsided; the depth bound must catch them.
        expect_same_as_std_sort(shaped(n, [n](std::uint64_t i) { return i % 2 == 0 ? i : n + i; }), "interleaved");
    }
}

// One pair of equal keys among distinct ones, at every distance and position within small
// inputs: the pair must be found wherever the partition and the rank groups put it.
TEST(SmallSort, ASingleEqualPairIsFoundAnywhere)
{
    for (std::uint64_t n : {2u, 3u, 5u, 16u, 17u, 33u, 49u, 100u}) {
        for (std::uint64_t i = 0; i < n; ++i) {
            for (std::uint64_t j = i + 1; j < n; ++j) {
                std::vector<element> input = numbered_input(n, 0, n * 1000 + i);
                input[j].key = input[i].key;
                expect_same_as_std_sort(input, "one equal pair");
            }
        }
    }
}

// Keys on which std::sort's quicksort degrades until its depth limit makes it heap-sort:
// McIlroy's adversary fixes a key only when a comparison needs it, the pivot candidate first.
std::vector<std::uint64_t> quicksort_killer(std::size_t n)
{
    std::uint64_t const unfixed = n;
    std::vector<std::uint64_t> keys(n, unfixed);
    std::uint64_t fixed = 0;
    std::size_t candidate = 0;
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        if (keys[x] == unfixed && keys[y] == unfixed) {
            keys[x == candidate ? x : y] = fixed++;
        }
        if (keys[x] == unfixed) {
            candidate = x;
        } else if (keys[y] == unfixed) {
            candidate = y;
        }
        return keys[x] < keys[y];
    });
    for (std::uint64_t& key : keys) {
        if (key == unfixed) {
            key = fixed++;
        }
    }
    return keys;
}

// The replica of std::sort that sorts parts with equal keys must reach std::sort's depth limit
// exactly where std::sort does.
TEST(SmallSort, QuicksortKillersSortAsStdSortDoes)
{
    for (std::uint64_t n : {40u, 100u, 255u, 256u, 319u, 512u, 1500u, 2048u}) {
        std::vector<std::uint64_t> const keys = quicksort_killer(n);
        expect_same_as_std_sort(shaped(n, [&keys](std::uint64_t i) { return keys[i]; }), "killer");
        expect_same_as_std_sort(shaped(n, [&keys](std::uint64_t i) { return keys[i] / 2; }), "killer, pairs");
    }
}

// Parts whose keys are all equal are placed by an order kept per length; lengths that come and
// go in turn must each get their own.
TEST(SmallSort, AllEqualPartsOfAlternatingLengths)
{
    for (int round = 0; round < 3; ++round) {
        for (std::uint64_t n : {17u, 300u, 2u, 512u, 16u, 299u, 100u, 2048u, 1000u}) {
            expect_same_as_std_sort(shaped(n, [round](std::uint64_t) { return round; }), "all equal, alternating");
        }
    }
}

// A library caller's thread may have a small stack. Parts of the full capacity, through the
// quicksort, the replica and the order for equal keys, must sort on a thread with 256 KiB of it.
TEST(SmallSort, FullPartsSortOnASmallStack)
{
    auto const body = [](void*) -> void* {
        std::uint64_t const n = small_sort_detail::capacity;
        expect_same_as_std_sort(numbered_input(n, 0, n), "distinct");
        expect_same_as_std_sort(numbered_input(n, n / 2, n + 1), "some equal");
        expect_same_as_std_sort(shaped(n, [](std::uint64_t) { return 7; }), "all equal");
        return nullptr;
    };
    pthread_attr_t small_stack;
    ASSERT_EQ(pthread_attr_init(&small_stack), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&small_stack, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &small_stack, body, nullptr), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&small_stack);
}

// The stable base case must leave every part as std::stable_sort does, payloads included, with
// each set of inner loops and either hint, and must say whether the part held equal keys.
void expect_same_as_std_stable_sort(std::vector<element> const& input, char const* shape)
{
    std::vector<element> expected = input;
    std::stable_sort(expected.begin(), expected.end());
    bool const looks = input.size() >= 2 && input.size() <= small_sort_detail::capacity;
    bool const equal_keys = looks && small_sort_detail::has_equal_neighbours(expected.data(), expected.data() + expected.size());
    for (small_sort_detail::kernel inner : kernels()) {
        for (bool expect_equal_keys : {false, true}) {
            std::vector<element> got = input;
            bool const found =
                small_sort_detail::stable_small_sort_with(inner, got.data(), got.data() + got.size(), expect_equal_keys);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin(), same_elements))
                << shape << ", n = " << input.size() << ", kernel " << static_cast<int>(inner) << ", hint "
                << expect_equal_keys;
            ASSERT_EQ(found, equal_keys) << shape << ", n = " << input.size() << ", kernel " << static_cast<int>(inner);
        }
    }
}

TEST(StableSmallSort, EveryShapeSortsAsStdStableSortDoes)
{
    for (std::uint64_t n : part_sizes()) {
        expect_same_as_std_stable_sort(numbered_input(n, 0, n), "distinct");
        expect_same_as_std_stable_sort(numbered_input(n, 4 * n + 1, n + 1), "some equal");
        expect_same_as_std_stable_sort(numbered_input(n, 5, n + 2), "few distinct");
        expect_same_as_std_stable_sort(shaped(n, [](std::uint64_t) { return 42; }), "all equal");
        expect_same_as_std_stable_sort(shaped(n, [](std::uint64_t i) { return i / 3; }), "ascending with equal keys");
        expect_same_as_std_stable_sort(shaped(n, [n](std::uint64_t i) { return n - i; }), "descending");
        expect_same_as_std_stable_sort(shaped(n, [n](std::uint64_t i) { return (n - i) / 3; }),
                                       "descending with equal keys");
    }
}

// The drivers sort their base-case parts with base_sort, for every item type: each part must end
// as std::sort leaves it, byte for byte, at every part size a tuning may give, with many equal
// items among the parts (equal keys with different payloads, records that compare equal with
// different bytes) and without.
template <class T>
void expect_base_sort_same_as_std_sort(std::vector<T> const& input, char const* what)
{
    std::vector<T> expected = input;
    std::sort(expected.begin(), expected.end());
    std::vector<T> got = input;
    base_sort(got.data(), got.data() + got.size(), std::less<T>());
    ASSERT_EQ(std::memcmp(expected.data(), got.data(), input.size() * sizeof(T)), 0)
        << what << ", n = " << input.size() << ", " << sizeof(T) << "-byte items";
}

// n records whose keys, a few letters before a zero byte, are drawn from `distinct` values; the
// bytes after the zero, which the order ignores, number them.
std::vector<record> records(std::uint64_t n, std::uint64_t distinct, std::mt19937_64& random)
{
    std::vector<record> items(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        std::memset(items[i].bytes, 0, record::size);
        std::uint64_t key = random() % distinct;
        for (std::size_t c = 0; c < 8; ++c, key /= 26) {
            items[i].bytes[c] = static_cast<char>('a' + key % 26);
        }
        std::memcpy(items[i].bytes + 16, &i, sizeof(i));
    }
    return items;
}

TEST(BaseSort, EveryItemTypeSortsPartsAsStdSortDoes)
{
    std::mt19937_64 random(7);
    for (std::uint64_t n : {2u, 17u, 49u, 318u, 600u, 1001u, 1500u, 2002u, 2048u, 2049u}) {
        for (std::uint64_t distinct : {std::uint64_t{3}, n / 4 + 1, std::uint64_t{1} << 40}) {
            expect_base_sort_same_as_std_sort(numbered_input(n, distinct, random()), "elements");
            std::vector<int> ints(n);
            for (int& i : ints) {
                i = static_cast<int>(random() % distinct);
            }
            expect_base_sort_same_as_std_sort(ints, "ints");
            expect_base_sort_same_as_std_sort(records(n, distinct, random), "records");
        }
    }
}

}  // namespace

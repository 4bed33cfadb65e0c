#include "gen/input_patterns.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gen/distribution_letters.hpp"
#include "gen/suite_patterns.hpp"
#include "items/element.hpp"
#include "items/factory.hpp"

namespace {

constexpr long seed = 20261208;
void* const factory_payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(factory<element>::payload));

std::vector<element> input(std::string const& name, std::size_t n, long from_seed = seed)
{
    srand48(from_seed);
    std::vector<element> items(n);
    gen::fill_input(name, items.data(), items.data() + n);
    return items;
}

std::vector<std::uint64_t> keys_of(std::vector<element> const& items)
{
    std::vector<std::uint64_t> keys;
    for (element const& e : items) keys.push_back(e.key);
    return keys;
}

bool same(std::vector<element> const& a, std::vector<element> const& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](element const& x, element const& y) {
               return x.key == y.key && x.payload == y.payload;
           });
}

TEST(InputPatterns, NamesAreKnownAndAnythingElseIsRejected)
{
    std::vector<std::string> const expected = {
        "uniform",  "sorted",      "reverse",      "equal",       "sorted-swaps",     "organ",
        "root-dups", "zipf",       "runs-log",     "runs-sqrt",   "buckets-log",      "buckets-sqrt",
        "few-distinct-log", "few-distinct-sqrt", "killer"};
    EXPECT_EQ(gen::input_pattern_names(), expected);
    for (std::string const& name : expected) EXPECT_TRUE(gen::is_input_pattern(name)) << name;
    for (std::string const name : {"", "Sorted", "sorted ", "u", "unknown"}) {
        EXPECT_FALSE(gen::is_input_pattern(name)) << name;
        element e;
        EXPECT_THROW(gen::fill_input(name, &e, &e + 1), std::invalid_argument) << name;
    }
}

// Every pattern writes exactly its range, at the sizes where rounding and small parameters bite
// as well as a larger one; every element carries the factory payload, and one seed gives one input.
TEST(InputPatterns, FillExactlyTheRangeWithFactoryPayloadsAndFollowTheSeed)
{
    element const sentinel{0x5e5e5e5e5e5e5e5eULL, nullptr};
    for (std::string const& name : gen::input_pattern_names()) {
        for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 1000u}) {
            std::vector<element> items(n + 2, sentinel);
            srand48(seed);
            gen::fill_input(name, items.data() + 1, items.data() + 1 + n);
            EXPECT_EQ(items.front().key, sentinel.key) << name << ' ' << n;
            EXPECT_EQ(items.back().key, sentinel.key) << name << ' ' << n;
            for (std::size_t i = 1; i <= n; ++i) {
                ASSERT_EQ(items[i].payload, factory_payload) << name << ' ' << n << " at " << i - 1;
            }
            std::vector<element> const filled(items.begin() + 1, items.end() - 1);
            EXPECT_TRUE(same(filled, input(name, n))) << name << ' ' << n << ": the same seed gives the same input";
        }
    }
}

TEST(InputPatterns, RandomPatternsChangeWithTheSeed)
{
    for (std::string const name : {"uniform", "equal", "sorted-swaps", "zipf", "runs-log", "buckets-sqrt",
                                   "few-distinct-sqrt"}) {
        EXPECT_FALSE(same(input(name, 1000, seed), input(name, 1000, seed + 1))) << name;
    }
}

TEST(InputPatterns, SortedReverseAndEqualAreMonotoneAndSpreadOverTheKeyRange)
{
    constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    for (std::size_t n : {2u, 3u, 1000u, 100001u}) {
        std::vector<std::uint64_t> const sorted = keys_of(input("sorted", n));
        EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end(), std::greater_equal<>()) == sorted.end()) << n;
        EXPECT_EQ(sorted.front(), 0u);
        EXPECT_GE(sorted.back(), top - n) << "rank keys reach the top of the range";

        std::vector<std::uint64_t> reverse = keys_of(input("reverse", n));
        EXPECT_TRUE(std::adjacent_find(reverse.begin(), reverse.end(), std::less_equal<>()) == reverse.end()) << n;
        std::reverse(reverse.begin(), reverse.end());
        EXPECT_EQ(reverse, sorted) << n;

        std::vector<std::uint64_t> const equal = keys_of(input("equal", n));
        EXPECT_EQ(std::set<std::uint64_t>(equal.begin(), equal.end()).size(), 1u) << n;
    }
}

// The fewest swaps that sort a permutation: its length less its number of cycles.
std::size_t swaps_to_sort(std::vector<std::uint64_t> const& keys)
{
    std::vector<std::uint64_t> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::size_t> target(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        target[i] = static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), keys[i]) - sorted.begin());
    }
    std::vector<bool> seen(keys.size(), false);
    std::size_t cycles = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (seen[i]) continue;
        ++cycles;
        for (std::size_t j = i; !seen[j]; j = target[j]) seen[j] = true;
    }
    return keys.size() - cycles;
}

TEST(InputPatterns, SortedSwapsIsTheSortedInputWithAtMostRootNSwaps)
{
    struct case_t {
        std::size_t n;
        std::size_t root;
    };
    for (case_t const c : {case_t{2, 1}, case_t{8, 2}, case_t{9, 3}, case_t{1000, 31}, case_t{65536, 256}}) {
        std::vector<std::uint64_t> const swapped = keys_of(input("sorted-swaps", c.n));
        std::vector<std::uint64_t> sorted = swapped;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, keys_of(input("sorted", c.n))) << c.n;
        std::size_t const swaps = swaps_to_sort(swapped);
        EXPECT_LE(swaps, c.root) << c.n;
        if (c.n >= 1000) {
            // Only a few of the random swaps can cancel or hit one position twice.
            EXPECT_GE(swaps, c.root * 3 / 4) << c.n;
        }
    }
}

TEST(InputPatterns, OrganRisesOverTheFirstHalfAndFallsSymmetrically)
{
    for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 1000u, 1001u}) {
        std::vector<std::uint64_t> const keys = keys_of(input("organ", n));
        std::size_t const rising = (n + 1) / 2;
        EXPECT_TRUE(std::adjacent_find(keys.begin(), keys.begin() + static_cast<long>(rising),
                                       std::greater_equal<>()) == keys.begin() + static_cast<long>(rising))
            << n;
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(keys[i], keys[n - 1 - i]) << n << " at " << i;
        }
        if (n >= 4) {
            EXPECT_GE(keys[rising - 1], std::numeric_limits<std::uint64_t>::max() - n) << "the peak is at the top";
        }
    }
}

TEST(InputPatterns, RootDuplicatesRepeatFloorRootNKeysInAscendingBlocks)
{
    struct case_t {
        std::size_t n;
        std::size_t root;
    };
    for (case_t const c : {case_t{1, 1}, case_t{3, 1}, case_t{4, 2}, case_t{1000, 31}, case_t{1024, 32},
                           case_t{1088, 32}}) {
        std::vector<std::uint64_t> const keys = keys_of(input("root-dups", c.n));
        EXPECT_EQ(std::set<std::uint64_t>(keys.begin(), keys.end()).size(), c.root) << c.n;
        for (std::size_t i = 0; i < c.n; ++i) {
            ASSERT_EQ(keys[i], keys[i % c.root]) << c.n << " at " << i;
        }
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.begin() + static_cast<long>(c.root))) << c.n;
    }
}

TEST(InputPatterns, ZipfRankFrequenciesFallLikeOneOverRank)
{
    constexpr std::size_t n = 200000;
    std::vector<element> const items = input("zipf", n);
    std::map<std::uint64_t, std::size_t> count_of_key;
    for (element const& e : items) ++count_of_key[e.key];
    std::vector<double> counts;
    for (auto const& [key, count] : count_of_key) counts.push_back(static_cast<double>(count));
    std::sort(counts.begin(), counts.end(), std::greater<>());

    // Rank r of n comes up with probability 1 / (r H(n)), H the harmonic number.
    double harmonic = 0;
    for (std::size_t r = 1; r <= n; ++r) harmonic += 1.0 / static_cast<double>(r);
    constexpr std::size_t checked_ranks = 8;
    ASSERT_GT(counts.size(), checked_ranks);
    for (std::size_t r = 1; r <= checked_ranks; ++r) {
        double const expected = static_cast<double>(n) / (static_cast<double>(r) * harmonic);
        EXPECT_NEAR(counts[r - 1], expected, 0.1 * expected) << "rank " << r;
    }
    // The long tail: many keys come up once, and the 100th most frequent still about 1/100 as often.
    EXPECT_GT(counts.size(), n / 10);
    double const expected_100 = static_cast<double>(n) / (100.0 * harmonic);
    EXPECT_NEAR(counts[99], expected_100, 0.3 * expected_100);

    // Frequent keys are scattered over the key order, not all at its start.
    auto const most_frequent = std::max_element(count_of_key.begin(), count_of_key.end(),
                                                [](auto const& a, auto const& b) { return a.second < b.second; });
    EXPECT_GT(most_frequent->first, std::numeric_limits<std::uint64_t>::max() / 1000);
}

// The moment the generator's distributions seed themselves: datlow seeds from the clock and calls
// the letter's distribution; if the clock did not tick in between, its seed is known.
std::time_t datlow_fill(char letter, std::vector<element>& items)
{
    for (;;) {
        std::time_t const before = std::time(nullptr);
        srand48(before);
        gen::fill_distribution<element>(letter, items.data(), items.data() + items.size(),
                                        gen::seeding::from_clock);
        if (std::time(nullptr) == before) return before;
    }
}

TEST(InputPatterns, GeneratorDistributionsGiveWhatDatlowGivesForTheSameSeed)
{
    struct case_t {
        char const* name;
        char letter;
    };
    std::vector<case_t> const cases = {
        {"uniform", 'u'},           {"runs-log", 'm'},         {"runs-sqrt", 'M'},
        {"buckets-log", 'd'},       {"buckets-sqrt", 'D'},     {"few-distinct-log", 'e'},
        {"few-distinct-sqrt", 'R'},
    };
    for (std::size_t n : {0u, 1u, 2u, 1000u, 4099u}) {
        for (case_t const& c : cases) {
            std::vector<element> from_datlow(n);
            std::time_t const clock_seed = datlow_fill(c.letter, from_datlow);
            EXPECT_TRUE(same(input(c.name, n, clock_seed), from_datlow)) << c.name << ' ' << n;
        }
    }
}

TEST(InputPatterns, UniformIsTheBenchmarksFactoryDraw)
{
    std::vector<element> const items = input("uniform", 1000);
    srand48(seed);
    for (element const& e : items) {
        element const expected = factory<element>::from_scalar(drand48());
        ASSERT_EQ(e.key, expected.key);
    }
}

TEST(InputPatterns, KillerKeepsTheGeneratorsArrangementWithSpreadKeys)
{
    for (std::size_t n : {1u, 2u, 17u, 3000u}) {
        std::vector<element> generated(n);
        gen::fill_distribution<element>('k', generated.data(), generated.data() + n, gen::seeding::as_given);
        std::vector<element> const killer = input("killer", n);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(killer[i].key, gen::ranked_element(generated[i].key - 1, n).key) << n << " at " << i;
        }
    }
}

TEST(InputPatterns, FloorSqrtIsExactAtPerfectSquaresAndTheTopOfTheRange)
{
    EXPECT_EQ(gen::floor_sqrt(0), 0u);
    EXPECT_EQ(gen::floor_sqrt(15), 3u);
    EXPECT_EQ(gen::floor_sqrt(16), 4u);
    // Just below its square, the count rounds up to the square in double precision.
    constexpr std::uint64_t big_root = 3037000499ULL;
    EXPECT_EQ(gen::floor_sqrt(big_root * big_root), big_root);
    EXPECT_EQ(gen::floor_sqrt(big_root * big_root - 1), big_root - 1);
    EXPECT_EQ(gen::floor_sqrt(std::numeric_limits<std::uint64_t>::max()), 0xffffffffULL);
}

}  // namespace

namespace {

template <class T>
std::vector<T> items_of(std::string const& name, std::size_t n)
{
    srand48(seed);
    std::vector<T> items(n);
    gen::fill_input(name, items.data(), items.data() + n);
    return items;
}

template <class T>
int order_of(T const& a, T const& b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

}  // namespace

// The patterns made from element keys give ints and records in the same order, ties included:
// every pair of neighbours and a spread of far pairs compare as their keys do.
TEST(InputPatterns, IntAndRecordPatternsKeepTheKeysOrder)
{
    std::set<std::string> const drawn_by_the_generator = {"uniform",      "runs-log",         "runs-sqrt",
                                                          "buckets-log",  "buckets-sqrt",     "few-distinct-log",
                                                          "few-distinct-sqrt"};
    std::size_t const n = 2000;
    for (std::string const& name : gen::input_pattern_names()) {
        if (drawn_by_the_generator.count(name) != 0) continue;
        std::vector<element> const elements = items_of<element>(name, n);
        std::vector<int> const ints = items_of<int>(name, n);
        std::vector<record> const records = items_of<record>(name, n);
        for (std::size_t i = 0; i + 1 < n; ++i) {
            for (std::size_t const j : {i + 1, i * 7919 % n}) {
                int const expected = order_of(elements[i], elements[j]);
                ASSERT_EQ(order_of(ints[i], ints[j]), expected) << name << ' ' << i << ' ' << j;
                ASSERT_EQ(order_of(records[i], records[j]), expected) << name << ' ' << i << ' ' << j;
            }
        }
    }
    // The ends of the key range: no digit of a record key is a zero byte that would end the compare.
    constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    EXPECT_TRUE(gen::record_of_key(0) < gen::record_of_key(1));
    EXPECT_TRUE(gen::record_of_key(top - 1) < gen::record_of_key(top));
    EXPECT_TRUE(gen::record_of_key(255) < gen::record_of_key(256));
    EXPECT_EQ(gen::int_of_key(0), std::numeric_limits<int>::min());
    EXPECT_EQ(gen::int_of_key(top), std::numeric_limits<int>::max());
}

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "gen/distributions.hpp"
#include "gen/random_item.hpp"
#include "items/element.hpp"
#include "items/record.hpp"

namespace {

// Runs fill within one second of the clock, so that the seed it took from the clock is known.
template <typename Fill>
std::time_t seed_used_by(Fill fill)
{
    for (;;) {
        std::time_t const before = std::time(nullptr);
        fill();
        if (std::time(nullptr) == before) return before;
    }
}

// The items that a generator seeded with seed draws first.
template <typename T>
std::vector<T> drawn(std::time_t seed, std::size_t n)
{
    srand48(seed);
    std::vector<T> items(n);
    gen::uniform<T>(items.begin(), items.end());
    return items;
}

// The draw with runs of the given lengths sorted in place.
std::vector<int> with_sorted_runs(std::vector<int> items, std::vector<std::size_t> const& sorted_lengths)
{
    auto start = items.begin();
    for (std::size_t length : sorted_lengths) {
        std::sort(start, start + static_cast<long>(length));
        start += static_cast<long>(length);
    }
    return items;
}

TEST(Mmerge, SortsEveryRunButTheLastInPlace)
{
    struct case_t {
        std::size_t n;
        unsigned long k;
        std::vector<std::size_t> sorted_runs;
    };
    std::vector<case_t> const cases = {
        {10, 3, {4, 3}},         // runs of 4, 3, 3
        {9, 3, {3, 3}},          // runs of 3 each
        {1000, 6, {167, 167, 167, 167, 166}},
        {10, 20, {}},            // single items: nothing to sort
        {50, 1, {}},             // one run, left as drawn
        {50, 0, {}},             // no runs asked for: taken as one
        {0, 3, {}},
    };
    for (case_t const& c : cases) {
        std::vector<int> items(c.n);
        std::time_t const seed = seed_used_by([&] { gen::mmerge<int>(items.begin(), items.end(), c.k); });
        EXPECT_EQ(items, with_sorted_runs(drawn<int>(seed, c.n), c.sorted_runs)) << c.n << " items, k " << c.k;
    }
}

// The bucket structure: bucket j of the buckets of k items holds only keys of the j-th of as
// many equal slices of the key range, in random order.
void expect_ascending_buckets(std::size_t n, unsigned long asked_k)
{
    std::vector<element> items(n);
    gen::distr<element>(items.data(), items.data() + n, asked_k);
    unsigned long const k = std::max(asked_k, 1ul);  // no bucket size means buckets of one
    std::size_t const buckets = (n + k - 1) / k;
    long double const slice = 18446744073709551616.0L / buckets;
    bool any_bucket_unsorted = false;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t const j = i / k;
        ASSERT_GE(items[i].key, static_cast<long double>(j) * slice) << i;
        ASSERT_LE(items[i].key, static_cast<long double>(j + 1) * slice) << i;
        EXPECT_EQ(items[i].payload, reinterpret_cast<void*>(0xbaadf00d));
        if (i % k != 0 && items[i].key < items[i - 1].key) any_bucket_unsorted = true;
    }
    if (k > 1 && n >= 2 * k) {
        EXPECT_TRUE(any_bucket_unsorted) << n << " items, k " << k;
    }
}

TEST(Distr, FillsAscendingBucketsForAnySize)
{
    expect_ascending_buckets(1000, 10);   // a multiple of k
    expect_ascending_buckets(1000, 31);   // a short last bucket
    expect_ascending_buckets(100000, 1);  // many slices: the last ends right at the top of the range
    expect_ascending_buckets(2, 0);       // buckets of one, so sorted
    expect_ascending_buckets(7, 100);     // one bucket

    // Records: the order of the buckets holds under the record order as well.
    std::vector<record> records(3000);
    gen::distr<record>(records.begin(), records.end(), 30);
    for (std::size_t i = 30; i < records.size(); ++i) {
        EXPECT_FALSE(records[i] < records[i / 30 * 30 - 1]) << i;
    }
}

TEST(Disti, DrawsEveryItemFromATableOfKValues)
{
    for (unsigned long k : {0ul, 1ul, 6ul, 100ul}) {
        std::vector<int> items(20000);
        gen::disti<int>(items.begin(), items.end(), k);
        std::set<int> const distinct(items.begin(), items.end());
        EXPECT_EQ(distinct.size(), std::max(k, 1ul)) << "k " << k;  // every entry comes up
    }

    std::vector<element> elements(1000);
    gen::disti<element>(elements.begin(), elements.end(), 5);
    std::set<std::uint64_t> keys;
    for (element const& e : elements) {
        keys.insert(e.key);
        EXPECT_EQ(e.payload, reinterpret_cast<void*>(0xbaadf00d));
    }
    EXPECT_EQ(keys.size(), 5u);
}

TEST(RandomItem, DrawsIntsOverTheirWholeRangeAndOtherItemsThroughTheFactory)
{
    srand48(7);
    std::vector<int> ints(1000);
    gen::uniform<int>(ints.begin(), ints.end());
    EXPECT_LT(*std::min_element(ints.begin(), ints.end()), -(1 << 30));
    EXPECT_GT(*std::max_element(ints.begin(), ints.end()), 1 << 30);

    srand48(7);
    double const scalar = drand48();
    srand48(7);
    EXPECT_EQ(gen::random_item<element>().key, factory<element>::from_scalar(scalar).key);
}

}  // namespace

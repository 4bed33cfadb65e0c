// The funnel drivers on int and record items, checked against expectations made without them:
// std::sort for int, and for record a permutation check over all 100 bytes plus the order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "funnel/item_trees.hpp"
#include "items/record.hpp"
#include "sort/sort_entry.hpp"
#include "tests/support/benchmark_tuning.hpp"

namespace {

using item_drivers = benchmark_tuning;

#ifdef KIT_SANITIZED_BUILD
constexpr std::uint64_t every_size_up_to = 1200;
#else
constexpr std::uint64_t every_size_up_to = 3000;
#endif

template <class Tree, class T>
std::vector<T> funnel_sorted(driver which, std::vector<T> input)
{
    std::vector<T> out(input.size());
    sort_entry<Tree>(which, input.data(), input.data() + input.size(), out.data(), funnel::default_tuning);
    return out;
}

std::vector<int> random_ints(std::uint64_t n, std::mt19937_64& random)
{
    std::vector<int> items(n);
    // Half of the inputs draw from a few values, so that equal items meet in the merges.
    bool const few = random() % 2 == 0;
    for (int& i : items) i = few ? static_cast<int>(random() % 7) - 3 : static_cast<int>(random());
    return items;
}

// Records that compare equal in crowds yet differ in their bytes: a short key over a small
// alphabet, a zero byte, then noise that the order never looks at.
std::vector<record> equivalent_records(std::uint64_t n, std::mt19937_64& random)
{
    std::vector<record> items(n);
    for (record& r : items) {
        std::uint64_t noise = random();
        std::size_t const key_length = noise % 3;
        for (char& c : r.bytes) {
            noise = noise * 6364136223846793005u + 1442695040888963407u;
            c = static_cast<char>(noise >> 56);
        }
        for (std::size_t i = 0; i < key_length; ++i) r.bytes[i] = static_cast<char>('a' + random() % 2);
        r.bytes[key_length] = 0;
    }
    return items;
}

bool bytes_before(record const& a, record const& b) { return std::memcmp(a.bytes, b.bytes, record::size) < 0; }

// output holds the records of input, every byte of each, as often as input does, and is ordered.
::testing::AssertionResult sorted_permutation(std::vector<record> input, std::vector<record> output)
{
    if (!std::is_sorted(output.begin(), output.end())) return ::testing::AssertionFailure() << "out of order";
    std::sort(input.begin(), input.end(), bytes_before);
    std::sort(output.begin(), output.end(), bytes_before);
    bool const same = input.size() == output.size() &&
                      std::equal(input.begin(), input.end(), output.begin(), [](record const& a, record const& b) {
                          return std::memcmp(a.bytes, b.bytes, record::size) == 0;
                      });
    return same ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "not a permutation of the input";
}

// An order-independent digest of every byte of every record (FNV-1a per record, summed and
// xored) with the count: cheap enough for every size, and a lost or doubled record changes it
// even where it is equivalent to another.
struct record_digest {
    std::uint64_t count = 0, sum = 0, bits = 0;

    explicit record_digest(std::vector<record> const& items)
    {
        for (record const& r : items) {
            std::uint64_t h = 14695981039346656037u;
            for (char c : r.bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211u;
            ++count;
            sum += h;
            bits ^= h;
        }
    }
    bool operator==(record_digest const& o) const { return count == o.count && sum == o.sum && bits == o.bits; }
};

// Both drivers with the pool, whose estimate must hold for the item's size, and, unless only the
// pool is asked for, with the heap.
template <class T, class Check>
void every_variant(std::vector<T> const& input, Check check, bool pool_only = false)
{
    using funnel::heap_item_tree;
    using funnel::stack_item_tree;
    for (driver which : {driver::cached, driver::uncached}) {
        check(funnel_sorted<stack_item_tree<T>>(which, input));
        if (!pool_only) check(funnel_sorted<heap_item_tree<T>>(which, input));
    }
}

void check_ints(std::vector<int> const& input, bool pool_only = false)
{
    std::vector<int> expected = input;
    std::sort(expected.begin(), expected.end());
    every_variant(input, [&](std::vector<int> const& out) { ASSERT_EQ(out, expected) << input.size(); }, pool_only);
}

void check_records(std::vector<record> const& input)
{
    every_variant(input, [&](std::vector<record> const& out) { ASSERT_TRUE(sorted_permutation(input, out)) << input.size(); });
}

void check_records_cheaply(std::vector<record> const& input, bool pool_only = false)
{
    record_digest const expected(input);
    every_variant(
        input,
        [&](std::vector<record> const& out) {
            ASSERT_TRUE(std::is_sorted(out.begin(), out.end()) && record_digest(out) == expected) << input.size();
        },
        pool_only);
}

// Every size with the pool; the heap trees merge alike and meet these sizes below.
TEST_F(item_drivers, SortIntsAndRecordsOfEverySmallSize)
{
    std::mt19937_64 random(13);
    for (std::uint64_t n = 1; n <= every_size_up_to; ++n) {
        check_ints(random_ints(n, random), true);
        check_records_cheaply(equivalent_records(n, random), true);
        if (HasFatalFailure()) return;
    }
}

// Around n = T + 1 = 317, where the sort entry hands over to the drivers, and around the sizes
// whose parts just reach or pass T + 1.
TEST_F(item_drivers, SortAroundTheBaseCaseThreshold)
{
    std::mt19937_64 random(17);
    for (std::uint64_t around : {317u, 5000u, 20000u}) {
        for (std::uint64_t n = around - 2; n <= around + 2; ++n) {
            check_ints(random_ints(n, random));
            check_records(equivalent_records(n, random));
        }
    }
}

#ifndef KIT_SANITIZED_BUILD
TEST_F(item_drivers, SortMillions)
{
    std::mt19937_64 random(19);
    check_ints(random_ints(2000000, random));
    check_records_cheaply(equivalent_records(2000000, random));
}
#endif

}  // namespace

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "gen/killer.hpp"
#include "items/element.hpp"
#include "items/record.hpp"

namespace {

using comparison_log = std::vector<std::pair<long, long>>;

// Plays the game on items with std::sort, as the generator does; logs the pairs compared.
template <typename T>
comparison_log play(std::vector<T>& items)
{
    comparison_log log;
    gen::killer<T*, std::less<T>> game(items.data(), items.data() + items.size());
    typename gen::killer<T*, std::less<T>>::predicate predicate(game);
    std::sort(game.indices().begin(), game.indices().end(), [&](long const& x, long const& y) {
        log.emplace_back(x, y);
        return predicate(x, y);
    });
    return log;
}

template <typename T>
std::vector<T> killer_input(std::size_t n)
{
    std::vector<T> items(n);
    play(items);
    return items;
}

std::vector<int> sorted_values(std::size_t n)
{
    std::vector<int> values(n);
    std::iota(values.begin(), values.end(), 1);
    return values;
}

std::uint64_t comparisons_to_sort(std::vector<int> values)
{
    std::uint64_t count = 0;
    std::sort(values.begin(), values.end(), [&](int a, int b) {
        ++count;
        return a < b;
    });
    return count;
}

TEST(Killer, GivesEachSizeAPermutationOfOneToN)
{
    for (std::size_t n : {0u, 1u, 2u, 3u, 16u, 17u, 100u, 1000u}) {
        std::vector<int> values = killer_input<int>(n);
        EXPECT_EQ(values, killer_input<int>(n)) << "no randomness: the same n gives the same input";
        std::sort(values.begin(), values.end());
        EXPECT_EQ(values, sorted_values(n)) << n;
    }

    std::vector<element> const elements = killer_input<element>(500);
    std::vector<int> const ints = killer_input<int>(500);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        EXPECT_EQ(elements[i].key, static_cast<std::uint64_t>(ints[i]));
        EXPECT_EQ(elements[i].payload, nullptr);
    }
}

TEST(Killer, SortingTheResultReplaysTheGameComparisonForComparison)
{
    constexpr std::size_t n = 3000;
    std::vector<int> values(n);
    comparison_log const game_log = play(values);

    comparison_log replay_log;
    std::vector<int> replay = values;
    std::sort(replay.begin(), replay.end(), [&](int a, int b) {
        replay_log.emplace_back(a, b);
        return a < b;
    });
    ASSERT_EQ(replay_log.size(), game_log.size());
    for (std::size_t i = 0; i < game_log.size(); ++i) {
        ASSERT_EQ(replay_log[i].first, values[game_log[i].first]) << "comparison " << i;
        ASSERT_EQ(replay_log[i].second, values[game_log[i].second]) << "comparison " << i;
    }
}

TEST(Killer, CostsTheSortFarMoreComparisonsThanARandomOrder)
{
    constexpr std::size_t n = 20000;
    std::vector<int> shuffled = sorted_values(n);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(12345));
    std::uint64_t const adversarial = comparisons_to_sort(killer_input<int>(n));
    std::uint64_t const random = comparisons_to_sort(shuffled);
    EXPECT_GT(adversarial, 2 * random);  // about 2.6 times as many
}

TEST(Killer, RecordsAreDistinctUnderTheRecordOrderAndRankedAsTheInts)
{
    constexpr std::size_t n = 2000;
    std::vector<record> const records = killer_input<record>(n);
    std::vector<int> const ints = killer_input<int>(n);

    std::vector<std::size_t> by_record(n);
    std::iota(by_record.begin(), by_record.end(), 0u);
    std::sort(by_record.begin(), by_record.end(), [&](std::size_t a, std::size_t b) { return records[a] < records[b]; });
    for (std::size_t rank = 0; rank < n; ++rank) {
        EXPECT_EQ(ints[by_record[rank]], static_cast<int>(rank + 1));
        if (rank > 0) {
            EXPECT_TRUE(records[by_record[rank - 1]] < records[by_record[rank]]) << rank;
        }
    }
}

}  // namespace

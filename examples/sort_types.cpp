// Sorts a few types with funnel::sort and funnel::stable_sort and checks each result against the
// standard library's; exits 1 on the first wrong one.

#include <funnel_sort/sort.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

int main()
{
    // Enough items for two levels of merge trees at the default tuning, with repeated keys.
    std::mt19937 random(7);
    std::vector<int> numbers(5000);
    for (int& x : numbers) x = static_cast<int>(random() % 1000);
    std::vector<std::string> words;
    for (int x : numbers) words.push_back("w" + std::to_string(x * 7919 % 1000));
    std::vector<std::pair<int, int>> pairs;  // (key, input position)
    for (int x : numbers) pairs.emplace_back(x % 10, static_cast<int>(pairs.size()));
    auto const by_key = [](std::pair<int, int> const& a, std::pair<int, int> const& b) { return a.first < b.first; };

    auto sorted_numbers = numbers;
    funnel::sort(sorted_numbers.begin(), sorted_numbers.end());
    std::sort(numbers.begin(), numbers.end());
    auto sorted_words = words;
    funnel::sort(sorted_words.begin(), sorted_words.end(), std::greater<>());
    std::sort(words.begin(), words.end(), std::greater<>());
    auto sorted_pairs = pairs;
    funnel::stable_sort(sorted_pairs.begin(), sorted_pairs.end(), by_key);
    std::stable_sort(pairs.begin(), pairs.end(), by_key);

    bool const right = sorted_numbers == numbers && sorted_words == words && sorted_pairs == pairs;
    std::puts(right ? "sorted" : "wrong order");
    return right ? 0 : 1;
}

// funnel::sort and funnel::stable_sort against std::stable_sort, for every kind of range, item and
// order the face takes. Every item carries its input position (its id) beside its key, and keys
// repeat, so that stable_sort must reproduce std::stable_sort exactly and sort must give the same
// keys with every item intact and present once.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "funnel_sort/sort.hpp"
#include "items/element.hpp"

namespace {

// Around the base-case threshold (316 at the default tuning), one and two merge levels, and
// 16491, where smaller parts recurse deeper than the largest one.
std::vector<std::ptrdiff_t> const sizes = {0, 1, 2, 315, 317, 318, 319, 1000, 5000, 16491};
// A tuning whose threshold is 6, so that small inputs already go through several tree levels.
funnel::tuning const deep{1, 2.0f};

struct keyed {
    int key;
    int id;
};

// n keys with about n / 8 distinct values.
std::vector<keyed> keys_of_size(std::ptrdiff_t n)
{
    std::mt19937 random(static_cast<std::uint32_t>(n));
    std::vector<keyed> keys;
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        keys.push_back({static_cast<int>(random() % static_cast<std::uint32_t>(n / 8 + 1)), static_cast<int>(i)});
    }
    return keys;
}

// One kind of item: how it is made from a key and id, read back, and ordered (by key alone, so
// that equivalent items differ).
template <class T, class MakeItem, class KeyOf, class IdOf, class Less>
struct item_kind {
    MakeItem make;
    KeyOf key_of;
    IdOf id_of;
    Less less;
};

template <class T, class MakeItem, class KeyOf, class IdOf, class Less>
item_kind<T, MakeItem, KeyOf, IdOf, Less> kind(MakeItem make, KeyOf key_of, IdOf id_of, Less less)
{
    return {make, key_of, id_of, less};
}

// Sorts the items of every size in Container, through the iterators range(container) gives, with
// both sorts and both tunings, and checks each result against std::stable_sort of the keys. The
// comparator's sense (ascending keys, or descending for std::greater) comes from the kind's less
// on two keys.
template <template <class...> class Container, class T, class Kind, class Range>
void check_kind(char const* name, Kind const& kind, Range range)
{
    for (std::ptrdiff_t n : sizes) {
        bool const descending = kind.less(kind.make(1, 0), kind.make(0, 0));
        for (funnel::tuning t : {funnel::library_tuning, deep}) {
            for (bool stable : {false, true}) {
                Container<T> items;
                for (keyed const& k : keys_of_size(n)) items.push_back(kind.make(k.key, k.id));
                // The range's order is the one the sort sees; a reversed range reverses the input too.
                auto [first, last] = range(items);
                std::vector<keyed> input;
                std::vector<int> key_of_id(static_cast<std::size_t>(n));
                for (auto i = first; i != last; ++i) {
                    input.push_back({kind.key_of(*i), kind.id_of(*i)});
                    key_of_id[static_cast<std::size_t>(kind.id_of(*i))] = kind.key_of(*i);
                }
                std::vector<keyed> reference = input;
                std::stable_sort(reference.begin(), reference.end(), [descending](keyed const& a, keyed const& b) {
                    return descending ? b.key < a.key : a.key < b.key;
                });
                if (stable) {
                    funnel::stable_sort(first, last, kind.less, t);
                } else {
                    funnel::sort(first, last, kind.less, t);
                }
                std::vector<bool> seen(static_cast<std::size_t>(n));
                std::ptrdiff_t i = 0;
                for (auto it = first; it != last; ++it, ++i) {
                    keyed const got{kind.key_of(*it), kind.id_of(*it)};
                    auto const at = static_cast<std::size_t>(i);
                    ASSERT_EQ(got.key, reference[at].key) << name << " n=" << n << " stable=" << stable << " at " << i;
                    if (stable) {
                        ASSERT_EQ(got.id, reference[at].id) << name << " n=" << n << " at " << i;
                    }
                    // Intact and present once: the id names an input item with the same key.
                    ASSERT_EQ(key_of_id[static_cast<std::size_t>(got.id)], got.key) << name << " n=" << n;
                    ASSERT_FALSE(seen[static_cast<std::size_t>(got.id)]) << name << " n=" << n;
                    seen[static_cast<std::size_t>(got.id)] = true;
                }
            }
        }
    }
}

auto const whole = [](auto& c) { return std::make_pair(c.begin(), c.end()); };
auto const reversed = [](auto& c) { return std::make_pair(c.rbegin(), c.rend()); };

struct move_only {
    std::unique_ptr<int> key;
    int id;
};

// Copies freely but has no default constructor.
struct no_default {
    no_default(int k, int i) : key(k), id(i) {}
    int key;
    int id;
};

TEST(FunnelSort, SortsEveryRangeItemAndOrderLikeStdStableSort)
{
    using pair = std::pair<int, int>;
    auto const pair_kind =
        kind<pair>([](int k, int i) { return pair{k, i}; }, [](pair const& p) { return p.first; },
                   [](pair const& p) { return p.second; }, [](pair const& a, pair const& b) { return a.first < b.first; });
    check_kind<std::vector, pair>("pair, vector", pair_kind, whole);
    check_kind<std::deque, pair>("pair, deque", pair_kind, whole);
    check_kind<std::vector, pair>("pair, reverse iterators", pair_kind, reversed);

    // element in its natural order takes the benchmark's merge step and base case.
    auto const element_kind = kind<element>(
        [](int k, int i) { return element{static_cast<std::uint64_t>(k), reinterpret_cast<void*>(std::intptr_t{i})}; },
        [](element const& e) { return static_cast<int>(e.key); },
        [](element const& e) { return static_cast<int>(reinterpret_cast<std::intptr_t>(e.payload)); }, std::less<>());
    check_kind<std::vector, element>("element", element_kind, whole);
    check_kind<std::deque, element>("element, deque", element_kind, whole);

    // Strings long enough to live on the heap: the zero-padded key, '|', the id, padding. They are
    // ordered by the key text alone, descending, with std::greater<>.
    auto const key_text = [](std::string const& s) { return s.substr(0, s.find('|')); };
    auto const string_kind = kind<std::string>(
        [](int k, int i) { return std::string(8 - std::to_string(k).size(), '0') + std::to_string(k) + "|" + std::to_string(i) + std::string(20, 'x'); },
        [](std::string const& s) { return std::stoi(s.substr(0, s.find('|'))); },
        [](std::string const& s) { return std::stoi(s.substr(s.find('|') + 1)); },
        [key_text](std::string const& a, std::string const& b) { return std::greater<>()(key_text(a), key_text(b)); });
    check_kind<std::vector, std::string>("string, descending", string_kind, whole);

    auto const move_only_kind = kind<move_only>([](int k, int i) { return move_only{std::make_unique<int>(k), i}; },
                                                [](move_only const& m) { return *m.key; },
                                                [](move_only const& m) { return m.id; },
                                                [](move_only const& a, move_only const& b) { return *a.key < *b.key; });
    check_kind<std::vector, move_only>("move-only", move_only_kind, whole);
    check_kind<std::deque, move_only>("move-only, deque", move_only_kind, whole);

    auto const no_default_kind = kind<no_default>([](int k, int i) { return no_default(k, i); },
                                                  [](no_default const& x) { return x.key; },
                                                  [](no_default const& x) { return x.id; },
                                                  [](no_default const& a, no_default const& b) { return a.key > b.key; });
    check_kind<std::vector, no_default>("no default constructor, descending", no_default_kind, reversed);
}

// int in its natural order (the benchmark's int base case) and in std::greater<>: equal ints are
// equal, so the result must be std::sort's.
TEST(FunnelSort, SortsIntsInBothDirections)
{
    for (std::ptrdiff_t n : sizes) {
        std::vector<int> input;
        for (keyed const& k : keys_of_size(n)) input.push_back(k.key - static_cast<int>(n / 16));
        for (funnel::tuning t : {funnel::library_tuning, deep}) {
            std::vector<int> up = input;
            std::vector<int> down = input;
            std::vector<int> stable_down = input;
            funnel::sort(up.begin(), up.end(), std::less<>(), t);
            funnel::sort(down.data(), down.data() + n, std::greater<>(), t);
            funnel::stable_sort(stable_down.begin(), stable_down.end(), std::greater<int>(), t);
            std::vector<int> expected = input;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(up, expected) << n;
            std::reverse(expected.begin(), expected.end());
            EXPECT_EQ(down, expected) << n;
            EXPECT_EQ(stable_down, expected) << n;
        }
    }
    std::vector<int> plain = {3, 1, 2};
    funnel::sort(plain.begin(), plain.end());
    funnel::stable_sort(plain.begin(), plain.end());
    EXPECT_EQ(plain, (std::vector<int>{1, 2, 3}));
}

TEST(FunnelSort, RefusesATuningItCannotSortWith)
{
    std::vector<int> items = {2, 1};
    for (funnel::tuning t : {funnel::tuning{0, 2.5f}, funnel::tuning{4, 1.0f}, funnel::tuning{4, 5.0f},
                             funnel::tuning{1000000, 4.0f}}) {
        EXPECT_THROW(funnel::sort(items.begin(), items.end(), std::less<>(), t), std::invalid_argument);
    }
    EXPECT_EQ(items, (std::vector<int>{2, 1}));
}

}  // namespace

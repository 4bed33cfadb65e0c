#include "gen/input_patterns.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "gen/distribution_letters.hpp"
#include "gen/suite_patterns.hpp"

namespace gen {

namespace {

// A distribution of the generator, continuing the caller's drand48 sequence.
template <char which>
void generator_distribution(element* first, element* last)
{
    fill_distribution<element>(which, first, last, seeding::as_given);
}

// The generator's killer hands out keys 1 ... n with null payloads; spread to ranks 0 ... n - 1
// like the other rank patterns, which keeps their order and so the arrangement.
void spread_killer(element* first, element* last)
{
    generator_distribution<letter::killer>(first, last);
    auto const n = static_cast<std::uint64_t>(last - first);
    for (element* e = first; e != last; ++e) {
        *e = ranked_element(e->key - 1, n);
    }
}

struct pattern {
    std::string name;
    void (*fill)(element*, element*);
    char distribution;  // the generator's letter, which makes every item type itself; 0 for none
};

std::vector<pattern> const& patterns()
{
    static std::vector<pattern> const all = {
        {"uniform", generator_distribution<letter::uniform>, letter::uniform},
        {"sorted", fill_sorted, 0},
        {"reverse", fill_reverse, 0},
        {"equal", fill_equal, 0},
        {"sorted-swaps", fill_sorted_swaps, 0},
        {"organ", fill_organ, 0},
        {"root-dups", fill_root_duplicates, 0},
        {"zipf", fill_zipf, 0},
        {"runs-log", generator_distribution<letter::runs_log>, letter::runs_log},
        {"runs-sqrt", generator_distribution<letter::runs_sqrt>, letter::runs_sqrt},
        {"buckets-log", generator_distribution<letter::buckets_log>, letter::buckets_log},
        {"buckets-sqrt", generator_distribution<letter::buckets_sqrt>, letter::buckets_sqrt},
        {"few-distinct-log", generator_distribution<letter::few_distinct_log>, letter::few_distinct_log},
        {"few-distinct-sqrt", generator_distribution<letter::few_distinct_sqrt>, letter::few_distinct_sqrt},
        {"killer", spread_killer, 0},
    };
    return all;
}

pattern const* find(std::string const& name)
{
    auto const& all = patterns();
    auto const found = std::find_if(all.begin(), all.end(), [&](pattern const& p) { return p.name == name; });
    return found == all.end() ? nullptr : &*found;
}

// An element pattern is what it fills; for another type the generator's distributions make the
// items themselves, and the other patterns become items key by key.
void fill_as(element* first, element* last, pattern const& p) { p.fill(first, last); }

template <class T>
void fill_as(T* first, T* last, pattern const& p)
{
    if (p.distribution != 0) {
        fill_distribution<T>(p.distribution, first, last, seeding::as_given);
        return;
    }
    std::vector<element> keys(static_cast<std::size_t>(last - first));
    p.fill(keys.data(), keys.data() + keys.size());
    for (element const& e : keys) {
        if constexpr (std::is_same<T, int>::value) {
            *first++ = int_of_key(e.key);
        } else {
            *first++ = record_of_key(e.key);
        }
    }
}

}  // namespace

std::vector<std::string> const& input_pattern_names()
{
    static std::vector<std::string> const names = [] {
        std::vector<std::string> all;
        for (pattern const& p : patterns()) all.push_back(p.name);
        return all;
    }();
    return names;
}

bool is_input_pattern(std::string const& name) { return find(name) != nullptr; }

template <class T>
void fill_input(std::string const& name, T* first, T* last)
{
    pattern const* const p = find(name);
    if (p == nullptr) {
        throw std::invalid_argument("Unknown input pattern: " + name);
    }
    fill_as(first, last, *p);
}

template void fill_input(std::string const&, element*, element*);
template void fill_input(std::string const&, int*, int*);
template void fill_input(std::string const&, record*, record*);

}  // namespace gen

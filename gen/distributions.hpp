#pragma once
// The input distributions. Each fills a range of items in place, whatever memory holds it (a
// mapped file or an array in memory), drawing from the drand48 family. mmerge, distr and disti
// reseed it themselves with the current time unless told to continue the caller's sequence.

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <iterator>
#include <vector>

#include "gen/random_item.hpp"
#include "items/factory.hpp"

namespace gen {

// Where a distribution's random numbers start: the generator's files reseed drand48 from the
// clock on entry; in-memory inputs continue the sequence their caller seeded, so that one seed
// reproduces the input.
enum class seeding { from_clock, as_given };

namespace detail {

// A parameter of 0 (from very small sizes) would leave nothing to divide by; 1 is the smallest
// parameter with a meaning: one run, buckets of one item, one distinct value.
inline unsigned long at_least_one(unsigned long k) { return k == 0 ? 1 : k; }

inline void reseed(seeding how)
{
    if (how == seeding::from_clock) {
        srand48(time(nullptr));
    }
}

}  // namespace detail

// Random items, independent of each other.
template <typename T, typename Iter>
void uniform(Iter first, Iter last)
{
    for (; first != last; ++first) {
        *first = random_item<T>();
    }
}

// Almost sorted, as a merge sort leaves its input when it lacks the last merge phase: k runs in
// array order, the first n mod k of n div k + 1 items, the rest of n div k; every run is sorted
// except the last, which stays in the order drawn.
template <typename T, typename Iter>
void mmerge(Iter first, Iter last, unsigned long k, seeding how = seeding::from_clock)
{
    detail::reseed(how);
    k = detail::at_least_one(k);
    unsigned long const n = static_cast<unsigned long>(std::distance(first, last));
    unsigned long const q = n / k;
    unsigned long remaining_long_runs = n % k;
    unsigned long run_length = remaining_long_runs > 0 ? q + 1 : q;
    Iter run_start = first;
    for (Iter i = first; i != last; ++i) {
        *i = random_item<T>();
        if (static_cast<unsigned long>(std::distance(run_start, i)) == run_length) {
            std::sort(run_start, i, std::less<T>());
            // Unsigned on purpose: once the long runs are done the counter wraps and never
            // reaches 0 again, so the length drops only once.
            --remaining_long_runs;
            if (remaining_long_runs == 0) {
                --run_length;
            }
            run_start = i;
        }
    }
}

// Almost sorted in ascending buckets of k items (the last one shorter when k does not divide n):
// bucket j draws its items from the j-th of as many equal slices of [0, 1] as there are buckets,
// so every item of a bucket is no greater than any item of the next.
template <typename T, typename Iter>
void distr(Iter first, Iter last, unsigned long k, seeding how = seeding::from_clock)
{
    detail::reseed(how);
    k = detail::at_least_one(k);
    unsigned long const n = static_cast<unsigned long>(std::distance(first, last));
    double const buckets = static_cast<double>(n / k + (n % k != 0 ? 1 : 0));
    unsigned long position = 0;
    for (Iter i = first; i != last; ++i, ++position) {
        double const bucket = static_cast<double>(position / k);
        // (bucket + draw) never rounds above the bucket count, so the scalar stays within [0, 1].
        *i = factory<T>::from_scalar((bucket + drand48()) / buckets);
    }
}

// Few distinct values: every item is drawn uniformly from a table of k random items. Running
// out of memory for the table throws std::bad_alloc before anything is written.
template <typename T, typename Iter>
void disti(Iter first, Iter last, unsigned long k, seeding how = seeding::from_clock)
{
    detail::reseed(how);
    k = detail::at_least_one(k);
    std::vector<T> table(k);
    for (T& entry : table) {
        entry = random_item<T>();
    }
    for (; first != last; ++first) {
        // The index comes from the top of the draw: a drand48 scalar carries only 48 random bits,
        // so a 64-bit value made from it has its low 16 bits zero, and taking it modulo k would
        // reach only k / gcd(k, 65536) entries (a single one when k is a power of two).
        unsigned long const index = static_cast<unsigned long>(drand48() * static_cast<double>(k));
        *first = table[std::min(index, k - 1)];
    }
}

}  // namespace gen

#pragma once
// The generator's distributions by their letter, each with the parameter it derives from the item
// count. datlow fills its files through here and the in-memory inputs take the same path, so a
// letter gives the same arrangement wherever the items live.

#include <cmath>
#include <stdexcept>

#include "gen/distributions.hpp"
#include "gen/killer.hpp"

namespace gen {

namespace letter {
constexpr char uniform = 'u';
constexpr char runs_log = 'm';           // log n sorted runs
constexpr char runs_sqrt = 'M';          // sqrt n sorted runs
constexpr char buckets_log = 'd';        // ascending buckets of log n items
constexpr char buckets_sqrt = 'D';       // ascending buckets of sqrt n items
constexpr char few_distinct_log = 'e';   // log n distinct values
constexpr char few_distinct_sqrt = 'R';  // sqrt n distinct values
constexpr char killer = 'k';             // the partition killer; uses no random numbers
}  // namespace letter

// The distribution parameters: the item count goes through single precision first, the
// function is taken in double precision and the result truncated. Counts below 1 give 0.
inline unsigned long log_parameter(unsigned long n)
{
    if (n == 0) return 0;
    return static_cast<unsigned long>(std::log(static_cast<double>(static_cast<float>(n))));
}

inline unsigned long sqrt_parameter(unsigned long n)
{
    return static_cast<unsigned long>(std::sqrt(static_cast<double>(static_cast<float>(n))));
}

// Every letter that names a distribution.
inline constexpr char all_letters[] = {letter::uniform,      letter::runs_log,         letter::runs_sqrt,
                                       letter::buckets_log,  letter::buckets_sqrt,     letter::few_distinct_log,
                                       letter::few_distinct_sqrt, letter::killer};

// Whether the letter names a distribution, so that a wrong one is refused before anything is made.
inline bool names_distribution(char which)
{
    for (char const known : all_letters) {
        if (which == known) return true;
    }
    return false;
}

// Fills [first, last) with the distribution of the letter, its parameter taken from the length of
// the range. Throws std::invalid_argument for a letter that names none.
template <typename T>
void fill_distribution(char which, T* first, T* last, seeding how)
{
    unsigned long const n = static_cast<unsigned long>(last - first);
    switch (which) {
    case letter::uniform: uniform<T>(first, last); break;
    case letter::runs_log: mmerge<T>(first, last, log_parameter(n), how); break;
    case letter::runs_sqrt: mmerge<T>(first, last, sqrt_parameter(n), how); break;
    case letter::buckets_log: distr<T>(first, last, log_parameter(n), how); break;
    case letter::buckets_sqrt: distr<T>(first, last, sqrt_parameter(n), how); break;
    case letter::few_distinct_log: disti<T>(first, last, log_parameter(n), how); break;
    case letter::few_distinct_sqrt: disti<T>(first, last, sqrt_parameter(n), how); break;
    case letter::killer: arrange_killer(first, last); break;
    default: throw std::invalid_argument("Unknown distribution");
    }
}

}  // namespace gen

#pragma once
// The splitting arithmetic shared by both sort drivers and by the pool estimate: the fan-out of a
// range, the base-case threshold, and how a range is cut into parts, all computed from the
// funnel's tuning. Header-only, so that the library face needs no compiled code.

#include <cmath>
#include <cstdint>
#include <limits>

#include "funnel/tuning.hpp"

namespace tuning_detail {

// The fan-out never drops below a two-way split, whatever the tuning parameters are.
constexpr std::int32_t smallest_fan_out = 2;
// The base of the threshold power, fixed in single precision and independent of d.
constexpr float threshold_base_factor = 2.5f;

// (2.5 alpha)^d before rounding.
inline double threshold_power(funnel::tuning t)
{
    float const p = static_cast<float>(t.alpha) * threshold_base_factor;
    return std::pow(static_cast<double>(p), static_cast<double>(t.d));
}

}  // namespace tuning_detail

// K(m): the number of parts a range of m elements is split into, m^(1/d) / alpha rounded to the
// nearest integer and never below 2.
inline std::int32_t fan_out(std::uint64_t m, funnel::tuning t)
{
    double const x = std::pow(static_cast<double>(m), 1.0 / static_cast<double>(t.d)) / static_cast<double>(t.alpha);
    auto const k = static_cast<std::int32_t>(std::floor(x + 0.5));
    return k < tuning_detail::smallest_fan_out ? tuning_detail::smallest_fan_out : k;
}

// T: a call whose parts hold at most T + 1 elements sorts them directly instead of recursing.
// The base p = alpha * 2.5 is a single-precision product, whatever d is.
inline std::int64_t base_case_threshold(funnel::tuning t)
{
    return static_cast<std::int32_t>(std::floor(tuning_detail::threshold_power(t) + 0.5));
}

// Whether T, as base_case_threshold computes it, fits the 32-bit integer it is kept in; a tuning
// whose threshold does not fit cannot be sorted with.
inline bool threshold_fits(funnel::tuning t)
{
    return tuning_detail::threshold_power(t) + 0.5 < static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

// How one call over n elements splits its range.
struct range_split {
    std::uint64_t k = 0;     // number of parts, K(n)
    std::uint64_t q = 0;     // floor(n / k)
    std::uint64_t r = 0;     // n mod k
    std::uint64_t m0 = 0;    // the largest part, ceil(n / k); also the size of a recursive call's scratch
    bool base_case = false;  // q <= T + 1: the parts are sorted with std::sort, not recursed into
};

inline range_split split_of(std::uint64_t n, funnel::tuning t)
{
    range_split s;
    s.k = static_cast<std::uint64_t>(fan_out(n, t));
    s.q = n / s.k;
    s.r = n % s.k;
    s.m0 = s.q + (s.r != 0 ? 1 : 0);
    s.base_case = static_cast<std::int64_t>(s.q) <= base_case_threshold(t) + 1;
    return s;
}

// Sizes of the parts of a split, in the order in which the parts lie from the start of the range.
// A base case puts the k - r short parts first, a recursive call puts the r long parts first, so
// that its part 0 is always the largest one and fits the scratch block.
inline std::uint64_t base_part_size(range_split const& s, std::uint64_t i)
{
    return i < s.k - s.r ? s.q : s.q + 1;
}

inline std::uint64_t recursive_part_size(range_split const& s, std::uint64_t i)
{
    return i < s.r ? s.q + 1 : s.q;
}

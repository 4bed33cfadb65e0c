#pragma once
// The splitting arithmetic shared by both sort drivers and by the pool estimate: the fan-out of a
// range, the base-case threshold, and how a range is cut into parts, all computed from the
// funnel's tuning.

#include <cstdint>

#include "funnel/tuning.hpp"

// K(m): the number of parts a range of m elements is split into, m^(1/d) / alpha rounded to the
// nearest integer and never below 2.
std::int32_t fan_out(std::uint64_t m, funnel::tuning t);

// T: a call whose parts hold at most T + 1 elements sorts them directly instead of recursing.
// The base p = alpha * 2.5 is a single-precision product, whatever d is.
std::int64_t base_case_threshold(funnel::tuning t);

// Whether T, as base_case_threshold computes it, fits the 32-bit integer it is kept in; a tuning
// whose threshold does not fit cannot be sorted with.
bool threshold_fits(funnel::tuning t);

// How one call over n elements splits its range.
struct range_split {
    std::uint64_t k = 0;     // number of parts, K(n)
    std::uint64_t q = 0;     // floor(n / k)
    std::uint64_t r = 0;     // n mod k
    std::uint64_t m0 = 0;    // the largest part, ceil(n / k); also the size of a recursive call's scratch
    bool base_case = false;  // q <= T + 1: the parts are sorted with std::sort, not recursed into
};

range_split split_of(std::uint64_t n, funnel::tuning t);

// Sizes of the parts of a split, in the order in which the parts lie from the start of the range.
// A base case puts the k - r short parts first, a recursive call puts the r long parts first, so
// that its part 0 is always the largest one and fits the scratch block.
std::uint64_t base_part_size(range_split const& s, std::uint64_t i);
std::uint64_t recursive_part_size(range_split const& s, std::uint64_t i);

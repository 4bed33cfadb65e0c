#include "sort/tuning.hpp"

#include <cmath>
#include <limits>

namespace {

// The fan-out never drops below a two-way split, whatever the tuning parameters are.
constexpr std::int32_t smallest_fan_out = 2;
// The base of the threshold power, fixed in single precision and independent of d.
constexpr float threshold_base_factor = 2.5f;

}  // namespace

std::int32_t fan_out(std::uint64_t m, funnel::tuning t)
{
    double const x = std::pow(static_cast<double>(m), 1.0 / static_cast<double>(t.d)) / static_cast<double>(t.alpha);
    auto const k = static_cast<std::int32_t>(std::floor(x + 0.5));
    return k < smallest_fan_out ? smallest_fan_out : k;
}

namespace {

// (2.5 alpha)^d before rounding.
double threshold_power(funnel::tuning t)
{
    float const p = static_cast<float>(t.alpha) * threshold_base_factor;
    return std::pow(static_cast<double>(p), static_cast<double>(t.d));
}

}  // namespace

std::int64_t base_case_threshold(funnel::tuning t)
{
    return static_cast<std::int32_t>(std::floor(threshold_power(t) + 0.5));
}

bool threshold_fits(funnel::tuning t)
{
    return threshold_power(t) + 0.5 < static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

range_split split_of(std::uint64_t n, funnel::tuning t)
{
    range_split s;
    s.k = static_cast<std::uint64_t>(fan_out(n, t));
    s.q = n / s.k;
    s.r = n % s.k;
    s.m0 = s.q + (s.r != 0 ? 1 : 0);
    s.base_case = static_cast<std::int64_t>(s.q) <= base_case_threshold(t) + 1;
    return s;
}

std::uint64_t base_part_size(range_split const& s, std::uint64_t i)
{
    return i < s.k - s.r ? s.q : s.q + 1;
}

std::uint64_t recursive_part_size(range_split const& s, std::uint64_t i)
{
    return i < s.r ? s.q + 1 : s.q;
}

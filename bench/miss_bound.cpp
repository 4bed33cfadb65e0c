#include "bench/miss_bound.hpp"

#include <algorithm>
#include <cmath>

std::optional<double> sorting_miss_bound(std::uint64_t bytes, std::uint64_t cache_bytes, std::uint64_t line_bytes)
{
    if (line_bytes == 0 || cache_bytes / line_bytes < 2) return std::nullopt;
    double const lines = static_cast<double>(bytes) / static_cast<double>(line_bytes);
    double const cache_lines = static_cast<double>(cache_bytes) / static_cast<double>(line_bytes);
    // Below one line the logarithm is negative; the max takes the single pass.
    double const passes = lines > 1.0 ? std::log(lines) / std::log(cache_lines) : 0.0;
    return lines * std::max(1.0, passes);
}

#include "bench/tuning_options.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "funnel/item_trees.hpp"
#include "sort/pool_estimate.hpp"
#include "sort/tuning.hpp"

namespace {

// The threshold and the fan-out are kept in 32-bit integers.
constexpr double largest_count = static_cast<double>(std::numeric_limits<std::int32_t>::max());

bool all_digits(std::string const& text)
{
    if (text.empty()) return false;
    for (char const c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

std::int32_t parse_alpha(std::string const& option, std::string const& text)
{
    if (!all_digits(text) || text.size() > 9 || std::atol(text.c_str()) < 1) {
        throw std::invalid_argument(option + ": '" + text + "' is not a whole number from 1 to 999999999");
    }
    return static_cast<std::int32_t>(std::atol(text.c_str()));
}

float parse_d(std::string const& option, std::string const& text)
{
    std::size_t const point = text.find('.');
    std::string const whole = text.substr(0, point);
    std::string const fraction = point == std::string::npos ? "0" : text.substr(point + 1);
    if (!all_digits(whole) || !all_digits(fraction) || whole.size() > 3) {
        throw std::invalid_argument(option + ": '" + text + "' is not a decimal number such as 2.5");
    }
    float const d = std::strtof(text.c_str(), nullptr);
    if (!(d > 1.0f)) throw std::invalid_argument(option + ": '" + text + "' must be above 1");
    return d;
}

std::string d_text(float d)
{
    char text[32];
    for (int digits = 1; digits <= std::numeric_limits<float>::max_digits10; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(d));
        if (std::strtof(text, nullptr) == d) break;
    }
    return text;
}

std::string tuning_problem(std::uint64_t n, funnel::tuning t, item_type type, std::uint64_t memory_bytes)
{
    std::string const setting = "alpha " + std::to_string(t.alpha) + ", d " + d_text(t.d);
    if (!threshold_fits(t)) return setting + ": the base-case threshold (2.5 alpha)^d is beyond 2^31";
    if (static_cast<std::int64_t>(n) <= base_case_threshold(t) + 1) return "";  // sorted directly, without a tree
    double const fan_out = std::pow(static_cast<double>(n), 1.0 / static_cast<double>(t.d)) / t.alpha;
    if (fan_out + 0.5 >= largest_count) {
        return setting + ": " + std::to_string(n) + " items would be split into more than 2^31 parts";
    }
    std::uint64_t const pool = with_item_type(type, [&](auto* none) {
        using T = std::remove_pointer_t<decltype(none)>;
        return pool_size_estimate_for<funnel::stack_item_tree<T>>(n, t);
    });
    std::uint64_t const input = n * item_size(type);
    if (pool > memory_bytes || input > memory_bytes - pool) {
        return setting + ": the merge trees and scratch arrays for " + std::to_string(n) + " items need " +
               std::to_string(pool) + " bytes, which with the input's " + std::to_string(input) +
               " do not fit into this machine's memory (" + std::to_string(memory_bytes) + " bytes)";
    }
    return "";
}

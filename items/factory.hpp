#pragma once
// factory<T>::from_scalar turns a scalar in [0, 1] into an item: the one place where random
// numbers become items, in the benchmark and in the generator alike.

#include <climits>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "items/element.hpp"
#include "items/record.hpp"

namespace factory_detail {

// Rejects scalars outside [0, 1]; NaN is rejected too, since it has no place in the range.
inline void check_scalar(double s)
{
    if (!(s >= 0.0 && s <= 1.0)) {
        throw std::invalid_argument("scalar must be positive and less than one");
    }
}

// The span 2^64 - 1 of an unsigned 64-bit value is 2^64 in double precision.
constexpr double unsigned_span = 18446744073709551616.0;

}  // namespace factory_detail

template <typename T>
struct factory;

template <>
struct factory<unsigned long> {
    static_assert(sizeof(unsigned long) == 8, "keys are drawn as 64-bit unsigned values");

    // trunc(s * 2^64); s = 1 saturates to the largest value.
    static unsigned long from_scalar(double s)
    {
        factory_detail::check_scalar(s);
        double const product = std::trunc(s * factory_detail::unsigned_span);
        if (product >= factory_detail::unsigned_span) {
            return ULONG_MAX;
        }
        return static_cast<unsigned long>(product);
    }
};

template <>
struct factory<int> {
    // INT_MIN + trunc(s * (INT_MAX - INT_MIN)), all in double precision: 0 gives INT_MIN, 1 gives INT_MAX.
    static int from_scalar(double s)
    {
        factory_detail::check_scalar(s);
        double const span = static_cast<double>(INT_MAX) - static_cast<double>(INT_MIN);
        return static_cast<int>(static_cast<double>(INT_MIN) + std::trunc(s * span));
    }
};

template <>
struct factory<element> {
    static constexpr std::uint64_t payload = 0xbaadf00d;

    static element from_scalar(double s)
    {
        element e;
        e.key = factory<unsigned long>::from_scalar(s);
        e.payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(payload));
        return e;
    }
};

template <>
struct factory<record> {
    // Base-255 expansion of s, most significant digit first, one digit per byte.
    static record from_scalar(double s);
};

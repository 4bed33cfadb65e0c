#pragma once
// The splitting rule of the recursive layout: a tree of height h is cut into a top tree of
// height floor(h/2) and bottom trees of the remaining, larger half. The buffer between a top
// leaf and a bottom tree is sized from the tuning parameters alpha and d.

#include <cmath>
#include <cstdint>

#include "funnel/tuning.hpp"

namespace funnel {

template <int Ways>
struct my_splitter {
    static_assert(Ways == 2, "the funnel is built from two-way nodes");

    // How one tree for k inputs and height h >= 2 splits.
    struct split {
        std::int16_t top_height;     // t = floor(h/2)
        std::int16_t bottom_height;  // b = h - t
        std::int32_t bottom_inputs;  // m = 2^b, the inputs of every bottom tree but the last
        std::int32_t bottom_count;   // q = ceil(k/m), also the inputs of the top tree
        std::uint64_t bufsize;       // elements of the buffer above each bottom tree
    };

    static std::int16_t top_height(std::int16_t h) { return static_cast<std::int16_t>(h / 2); }

    static std::int16_t bottom_height(std::int16_t h) { return static_cast<std::int16_t>(h - h / 2); }

    // alpha * floor(m^d) for m = 2^b. The conversions are fixed (m through float to double, d
    // widened, the power truncated to 64 bits) because the pool estimate must reproduce the
    // layout's sizes exactly.
    static std::uint64_t bufsize(std::int16_t b, tuning t)
    {
        float const m = static_cast<float>(std::int32_t{1} << b);
        double const power = std::pow(static_cast<double>(m), static_cast<double>(t.d));
        return static_cast<std::uint64_t>(power) * static_cast<std::uint64_t>(static_cast<std::int64_t>(t.alpha));
    }

    static split of(std::int32_t k, std::int16_t h, tuning t)
    {
        split s;
        s.top_height = top_height(h);
        s.bottom_height = bottom_height(h);
        s.bottom_inputs = std::int32_t{1} << s.bottom_height;
        s.bottom_count = (k + s.bottom_inputs - 1) / s.bottom_inputs;
        s.bufsize = bufsize(s.bottom_height, t);
        return s;
    }
};

}  // namespace funnel

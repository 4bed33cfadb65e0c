#pragma once
// The funnel's two tuning parameters. alpha and d size the merge tree's buffers (alpha * m^d),
// the memory of its layout, and the drivers' fan-out (m^(1/d) / alpha) and base-case threshold
// (round((2.5 alpha)^d)). A tuning is a plain value handed down to everything that computes from
// it; a tree keeps the one it was built with, because destroying it recomputes its buffer sizes.

#include <cstdint>

namespace funnel {

struct tuning {
    std::int32_t alpha;
    float d;
};

// The setting the benchmark's fixed report runs at and experiments default to.
constexpr tuning default_tuning{4, 2.5f};

}  // namespace funnel

#pragma once
// The external-memory model's bound on the cache misses of sorting: N bytes, a cache of M bytes in
// lines of B bytes, (N/B) * max(1, log_{M/B}(N/B)) line transfers. The reports set the simulated
// misses of one cache against it, so that a sort whose misses follow the bound keeps a flat ratio
// as N/M grows.

#include <cstdint>
#include <optional>

// Empty for a cache of fewer than two lines, where the logarithm has no base.
std::optional<double> sorting_miss_bound(std::uint64_t bytes, std::uint64_t cache_bytes, std::uint64_t line_bytes);

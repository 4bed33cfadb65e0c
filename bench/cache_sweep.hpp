#pragma once
// The simulated cache a run's misses are set against the model's bound, and the sweep of its
// size: each size a run of its own, with the other level as given.

#include <cstdint>
#include <string>
#include <vector>

#include "bench/cache_simulation.hpp"

// The cache of the bound level.
cache_geometry const& bound_cache(simulation_setup const& setup);

// The sizes the runs give the bound level: the swept ones, or its one size.
std::vector<std::uint64_t> bound_cache_sizes(simulation_setup const& setup);

// The setup of one run: the bound level at the given size.
simulation_setup at_bound_cache_size(simulation_setup setup, std::uint64_t size);

// "L1 32768/8/64, L2 2097152/16/64" (size/ways/line in bytes), a swept level's sizes in braces:
// "L2 {262144,524288}/16/64".
std::string simulated_caches_text(simulation_setup const& setup);

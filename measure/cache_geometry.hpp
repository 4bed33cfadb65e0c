#pragma once
// The geometry of one data cache level (size, associativity, line size), as the machine
// describes it under /sys and as the cache simulator takes it. The simulator models only caches
// whose line size and set count are powers of two; geometry_problem says what else it refuses.

#include <cstdint>
#include <string>

struct cache_geometry {
    std::uint64_t size = 0;  // bytes; 0 where the machine does not say
    std::uint64_t ways = 0;
    std::uint64_t line = 0;  // bytes
};

// The data (or unified) cache of the given level among the index* folders of cache_dir, usually
// /sys/devices/system/cpu/cpu0/cache; all zero where there is none or its files do not parse.
cache_geometry machine_cache(std::string const& cache_dir, std::uint32_t level);

// The data (or unified) cache of level 1 or 2 as the C library reads it from the processor
// (sysconf); all zero where it does not know. Some virtual machines have no cache folders under
// /sys at all, yet the processor still describes its caches.
cache_geometry processor_cache(std::uint32_t level);

// Empty when the simulator can model the geometry, else why not ("the set count ... is not a
// power of two", ...).
std::string geometry_problem(cache_geometry const& cache);

// "32768/8/64": size, ways and line in bytes, as the reports write it; with separator ',' as
// valgrind takes it.
std::string geometry_text(cache_geometry const& cache, char separator = '/');

#include "bench/cache_sweep.hpp"

cache_geometry const& bound_cache(simulation_setup const& setup)
{
    return setup.bound_level == 1 ? setup.l1 : setup.l2;
}

std::vector<std::uint64_t> bound_cache_sizes(simulation_setup const& setup)
{
    if (!setup.swept_sizes.empty()) return setup.swept_sizes;
    return {bound_cache(setup).size};
}

simulation_setup at_bound_cache_size(simulation_setup setup, std::uint64_t size)
{
    (setup.bound_level == 1 ? setup.l1 : setup.l2).size = size;
    setup.swept_sizes.clear();
    return setup;
}

std::string simulated_caches_text(simulation_setup const& setup)
{
    std::string text;
    for (std::uint32_t const level : {1u, 2u}) {
        cache_geometry const& cache = level == 1 ? setup.l1 : setup.l2;
        text += level == 1 ? "L1 " : ", L2 ";
        if (level != setup.bound_level || setup.swept_sizes.empty()) {
            text += geometry_text(cache);
            continue;
        }
        text += '{';
        for (std::size_t i = 0; i < setup.swept_sizes.size(); ++i) {
            text += (i > 0 ? "," : "") + std::to_string(setup.swept_sizes[i]);
        }
        text += "}/" + std::to_string(cache.ways) + '/' + std::to_string(cache.line);
    }
    return text;
}

#pragma once
// The four sorts of the benchmark, named for the command line: the cached and the uncached
// driver, each with merge trees from the pool or from the heap.

#include <array>
#include <string>

#include "bench/content_check.hpp"
#include "items/element.hpp"

struct variant {
    char const* name;       // on the command line and in CSV reports: "cached-stack", ...
    char const* algorithm;  // in XML reports, as the benchmark writes it: "Cached", "Not cached"
    char const* label;      // the allocator: "stack" or "heap"
    void (*sort)(element* first, element* last, checked_output into);
};

constexpr std::size_t variant_count = 4;

// In the benchmark's order: cached-stack, cached-heap, uncached-stack, uncached-heap.
std::array<variant, variant_count> const& all_variants();

// The variant of that name, or null.
variant const* find_variant(std::string const& name);

#pragma once
// Highway's vectorised quicksort (vqsort) as an entry of the registry, kept apart so that the kit
// also builds without Highway (KIT_WITH_HIGHWAY=OFF): that build has no such entry.

#include <vector>

#include "bench/variants.hpp"

// The vqsort entry, or nothing in a build without Highway. Its sorter is made here, before any
// timed interval, so that the first sort is not charged for its allocation.
std::vector<variant> highway_variants();

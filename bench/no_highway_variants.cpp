#include "bench/highway_variants.hpp"

// A build without Highway (KIT_WITH_HIGHWAY=OFF): no vqsort.
std::vector<variant> highway_variants() { return {}; }

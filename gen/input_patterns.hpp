#pragma once
// In-memory inputs of elements by name, for the benchmark's chosen inputs:
//   uniform             keys from independent drand48 draws (the fixed benchmark's input)
//   sorted, reverse     strictly ascending / descending keys
//   equal               one random element, repeated
//   sorted-swaps        sorted, then floor(sqrt(n)) random swaps
//   organ               ascending over the first half, then descending
//   root-dups           key rank i mod floor(sqrt(n))
//   zipf                Zipf keys, exponent 1 over n ranks
//   runs-log/-sqrt      the generator's log n / sqrt n sorted runs
//   buckets-log/-sqrt   the generator's ascending buckets of log n / sqrt n elements
//   few-distinct-log/-sqrt  the generator's log n / sqrt n distinct values
//   killer              the generator's partition killer, its keys 1 ... n taken as ranks
// Patterns built from ranks spread their keys evenly over the 64-bit range, and every element
// carries the factory's payload 0xbaadf00d (suite_patterns.hpp has the details). Every pattern is
// defined for int and record too: the generator's distributions make those items themselves; the
// other patterns are made as elements and each key becomes the item that keeps the keys' order
// (int_of_key, record_of_key).

#include <string>
#include <vector>

#include "items/element.hpp"
#include "items/record.hpp"

namespace gen {

// Every pattern name, in the order listed above.
std::vector<std::string> const& input_pattern_names();

bool is_input_pattern(std::string const& name);

// Fills [first, last) with the named pattern, drawing randomness from drand48 (the caller seeds it
// with srand48). Throws std::invalid_argument for an unknown name.
template <class T>
void fill_input(std::string const& name, T* first, T* last);

extern template void fill_input(std::string const&, element*, element*);
extern template void fill_input(std::string const&, int*, int*);
extern template void fill_input(std::string const&, record*, record*);

}  // namespace gen

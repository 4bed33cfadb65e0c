#pragma once
// The element patterns that sorting test suites use and the generator's distributions lack. Keys
// built from ranks are spread evenly over the whole 64-bit range (rank r of m > 1 becomes
// r * floor((2^64 - 1) / (m - 1))), so they are as large as uniform keys and only their order
// carries the pattern; every element carries the factory's payload. Randomness comes from drand48.

#include <cstdint>

#include "items/element.hpp"
#include "items/record.hpp"

namespace gen {

// The item of another type that stands for an element key in a pattern: ints and records keep
// the keys' order (ints may join neighbouring keys), and equal keys give equal items.
// An int: the key's top 32 bits, moved down to the int range.
int int_of_key(std::uint64_t key);
// A record: the key's nine base-255 digits, most significant first, each written as digit + 1 so
// that no digit is a zero byte, then zero bytes; the bounded byte compare orders these as the keys.
record record_of_key(std::uint64_t key);

// The element of rank rank (0 ... ranks - 1) among ranks evenly spread keys.
element ranked_element(std::uint64_t rank, std::uint64_t ranks);

// floor(sqrt(n)), exact for every 64-bit n.
std::uint64_t floor_sqrt(std::uint64_t n);

// Keys strictly ascending.
void fill_sorted(element* first, element* last);
// Keys strictly descending.
void fill_reverse(element* first, element* last);
// One random element, repeated.
void fill_equal(element* first, element* last);
// Sorted, then floor(sqrt(n)) swaps of two positions drawn at random (a swap may hit one
// position twice and change nothing).
void fill_sorted_swaps(element* first, element* last);
// Pipe organ: strictly ascending over the first ceil(n / 2) positions, then descending through
// the same keys: every key comes up twice, except the peak when n is odd.
void fill_organ(element* first, element* last);
// Root-n duplicates: position i gets rank i mod floor(sqrt(n)), so about sqrt(n) distinct keys,
// each about sqrt(n) times, repeating in ascending sawtooth blocks.
void fill_root_duplicates(element* first, element* last);
// Zipf with exponent 1 over n distinct ranks: rank r comes up with probability proportional to
// 1 / r. Ranks become keys through a fixed bijective mix of the 64-bit range, so frequent keys
// lie anywhere in the key order, not all at its start.
void fill_zipf(element* first, element* last);

}  // namespace gen

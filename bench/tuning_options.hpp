#pragma once
// The funnel's tuning as the programs take it on the command line: alpha a whole number from 1,
// d a decimal above 1, and a check that a setting can sort n items of a type in this memory.

#include <cstdint>
#include <string>

#include "bench/variants.hpp"
#include "funnel/tuning.hpp"

// Both throw std::invalid_argument with a message that names the option.
std::int32_t parse_alpha(std::string const& option, std::string const& text);
float parse_d(std::string const& option, std::string const& text);

// Empty when the funnel can sort n items of the type at tuning t with memory_bytes for the
// input and the pool (merge trees and scratch); otherwise why not, naming the setting.
std::string tuning_problem(std::uint64_t n, funnel::tuning t, item_type type, std::uint64_t memory_bytes);

// d as the reports and the command line write it: the shortest text that reads back as the same float.
std::string d_text(float d);

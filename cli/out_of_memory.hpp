#pragma once
// The message of a program whose work does not fit in the memory it may have (physical memory,
// RLIMIT_AS, a cgroup's limit): the size it was asked for, never an abort.

#include <cstdint>
#include <string>

namespace cli {

// "not enough memory for " count unit, for example "not enough memory for 512 MB".
inline std::string not_enough_memory(std::uint64_t count, char const* unit)
{
    return "not enough memory for " + std::to_string(count) + " " + unit;
}

}  // namespace cli

#pragma once
// The indentation in front of a meter's report fragment.

#include <cstdint>
#include <ostream>

// Writes fill count times; a count of zero or less writes nothing.
inline void write_indent(std::ostream& os, std::int32_t count, char fill)
{
    for (std::int32_t i = 0; i < count; ++i) os << fill;
}

#pragma once
// The 16-byte sort item of the benchmark: an unsigned 64-bit key and a pointer-sized payload
// that travels with it. Only the key takes part in comparisons.

#include <cstdint>
#include <ostream>

struct element {
    std::uint64_t key = 0;
    void* payload = nullptr;
};

static_assert(sizeof(element) == 16, "an element is a 64-bit key followed by a 64-bit pointer");

// Equal keys are equivalent whatever the payloads are.
inline bool operator<(element const& a, element const& b) { return a.key < b.key; }

inline std::ostream& operator<<(std::ostream& os, element const& e)
{
    return os << '(' << static_cast<unsigned long>(e.key) << ',' << static_cast<void const*>(e.payload) << ')';
}

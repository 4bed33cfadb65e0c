#pragma once
// The 100-byte sort item of the generator. All 100 bytes are data; the order is that of a
// bounded C string comparison, so everything after a zero byte common to both records is ignored.

#include <cstddef>
#include <cstring>
#include <ostream>

struct record {
    static constexpr std::size_t size = 100;
    char bytes[size];
};

static_assert(sizeof(record) == record::size, "a record is exactly its bytes");

// strncmp compares as unsigned char, so a byte 200 sorts after a byte 100.
inline bool operator<(record const& a, record const& b) { return std::strncmp(a.bytes, b.bytes, record::size) < 0; }

// Writes "[", the 100 bytes raw (zero and non-printing bytes included), then "]".
inline std::ostream& operator<<(std::ostream& os, record const& r)
{
    os << '[';
    for (char c : r.bytes) {
        os << c;
    }
    return os << ']';
}

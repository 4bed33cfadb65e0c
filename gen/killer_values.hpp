#pragma once
// The values the partition killer hands out: a zero value that marks an undecided item, and the
// successor that gives the next decided value. Decided values must be told apart by the item's
// order and never be equivalent to the zero value.

#include <cstddef>

#include "items/element.hpp"
#include "items/record.hpp"

namespace gen {

// Integral types count up from 0.
template <typename T>
struct killer_values {
    static T zero() { return T(); }
    static T successor(T const& value) { return value + 1; }
};

// Elements count up by key; the payload stays that of the zero value.
template <>
struct killer_values<element> {
    static element zero() { return element{}; }
    static element successor(element const& value)
    {
        element next = value;
        ++next.key;
        return next;
    }
};

// Records compare as bounded C strings, so a zero byte would hide everything after it and every
// record starting with one would be equivalent to the zero value. Decided records therefore use
// only the byte values 1 to 255: a base-255 counter over all 100 bytes, most significant byte
// first, starting with all bytes 1 and carrying from the last byte towards the first.
template <>
struct killer_values<record> {
    static constexpr unsigned char lowest_digit = 1;
    static constexpr unsigned char highest_digit = 255;

    static record zero() { return record{}; }
    static record successor(record const& value)
    {
        record next = value;
        if (static_cast<unsigned char>(next.bytes[0]) < lowest_digit) {
            for (char& byte : next.bytes) byte = static_cast<char>(lowest_digit);
            return next;
        }
        for (std::size_t i = record::size; i-- > 0;) {
            unsigned char const digit = static_cast<unsigned char>(next.bytes[i]);
            if (digit < highest_digit) {
                next.bytes[i] = static_cast<char>(digit + 1);
                return next;
            }
            next.bytes[i] = static_cast<char>(lowest_digit);
        }
        return next;
    }
};

}  // namespace gen

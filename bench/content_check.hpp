#pragma once
// The one check of every sort an experiment or compare_sorts runs. The fixed report's own check
// sums the keys only, so a payload that is lost, altered or moved to another key goes unnoticed.
// Here every element (key and payload together) is mixed into 64 bits and the mixes are summed
// and xored, once over the input and once over what leaves the sort; both results depend on the
// set of elements, not on their order.

#include <cstdint>
#include <iterator>
#include <string>

#include "items/element.hpp"
#include "sort/sorted_stream.hpp"

// Mixes key and payload so that changing either, or pairing a payload with another key,
// changes the result (the payload is spread over all bits first, then the finaliser of
// splitmix64 scrambles the combination).
inline std::uint64_t element_mix(element const& e)
{
    constexpr std::uint64_t spread = 0x9e3779b97f4a7c15;
    std::uint64_t x = e.key ^ (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(e.payload)) * spread);
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9;
    x ^= x >> 27;
    x *= 0x94d049bb133111eb;
    x ^= x >> 31;
    return x;
}

struct content_checksum {
    std::uint64_t count = 0;
    std::uint64_t mix_sum = 0;  // wraps modulo 2^64
    std::uint64_t mix_xor = 0;

    void add(element const& e)
    {
        std::uint64_t const m = element_mix(e);
        ++count;
        mix_sum += m;
        mix_xor ^= m;
    }

    bool same_content(content_checksum const& other) const
    {
        return mix_sum == other.mix_sum && mix_xor == other.mix_xor;
    }
};

// What the checked output saw: the checksum of every element and how many came out smaller
// than their predecessor.
struct output_tally {
    content_checksum content;
    std::uint64_t out_of_order = 0;
};

// The output iterator of an experiment run: every element goes on to the sorted stream, which
// checks the order and sums the keys as in the benchmark's own runs, and is folded into a tally.
class checked_output {
public:
    using iterator_category = std::output_iterator_tag;
    using value_type = void;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = void;

    checked_output(sorted_stream<element>& stream, output_tally& tally) : inner_(&stream), tally_(&tally) {}

    element& operator*() const { return *inner_; }

    checked_output& operator++()
    {
        // The stream still holds its predecessor in prev (a zero key before the first element,
        // which no key is smaller than).
        element const& written = inner_.stream->cur;
        tally_->out_of_order += written.key < inner_.stream->prev.key ? 1 : 0;
        tally_->content.add(written);
        ++inner_;
        return *this;
    }

private:
    sorted_stream<element>::iterator inner_;
    output_tally* tally_;
};

// What a sort of some input must deliver: computed from the input before it is sorted.
struct expected_content {
    element key_sum;  // as the benchmark's own check keeps it: element 0, then every further key added
    content_checksum content;

    static expected_content of(element const* first, element const* last);
};

// The output a sort delivers into and the verdict on it: the order, the element count, the key
// sum of the benchmark's stream and the checksum over key and payload.
class output_check {
public:
    explicit output_check(expected_content const& expected) : expected_(expected) {}
    output_check(output_check const&) = delete;
    output_check& operator=(output_check const&) = delete;

    checked_output into() { return checked_output(stream_, tally_); }

    // "ok", or every finding joined by "; ".
    std::string verdict() const;

private:
    expected_content const expected_;
    sorted_stream<element> stream_;
    output_tally tally_;
};

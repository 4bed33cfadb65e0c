#pragma once
// The one check of every sort an experiment or compare_sorts runs, for every item type. The fixed
// report's own check sums the keys only, so a payload that is lost, altered or moved to another
// key goes unnoticed. Here every whole item (an element's key and payload, all 100 bytes of a
// record, an int's value) is mixed into 64 bits and the mixes are summed and xored, once over the
// input and once over what leaves the sort; both results depend on the multiset of items, not on
// their order, so a lost or doubled record is caught even among records that compare equal.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "items/element.hpp"
#include "items/record.hpp"
#include "sort/sorted_stream.hpp"

// The finaliser of splitmix64: every input bit reaches every output bit.
inline std::uint64_t mix_finish(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9;
    x ^= x >> 27;
    x *= 0x94d049bb133111eb;
    x ^= x >> 31;
    return x;
}

// Mixes key and payload so that changing either, or pairing a payload with another key,
// changes the result (the payload is spread over all bits first).
inline std::uint64_t item_mix(element const& e)
{
    constexpr std::uint64_t spread = 0x9e3779b97f4a7c15;
    return mix_finish(e.key ^ (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(e.payload)) * spread));
}

inline std::uint64_t item_mix(int i) { return mix_finish(static_cast<std::uint64_t>(static_cast<std::uint32_t>(i))); }

// All 100 bytes, those after a zero byte included: twelve 8-byte words and a 4-byte tail, each
// mixed with its position and the mixes added. The words do not wait for one another, so the
// check costs a record sort little of its timed delivery.
inline std::uint64_t item_mix(record const& r)
{
    static_assert(record::size % 8 == 4, "a record is whole words and a 4-byte tail");
    constexpr std::uint64_t spread = 0x9e3779b97f4a7c15;
    constexpr std::size_t words = record::size / 8;
    std::uint64_t h = 0;
    for (std::size_t i = 0; i < words; ++i) {
        std::uint64_t word = 0;
        std::memcpy(&word, r.bytes + 8 * i, sizeof word);
        h += mix_finish(word ^ ((i + 1) * spread));
    }
    std::uint32_t tail = 0;
    std::memcpy(&tail, r.bytes + 8 * words, sizeof tail);
    h += mix_finish(tail ^ ((words + 1) * spread));
    return mix_finish(h);
}

struct content_checksum {
    std::uint64_t count = 0;
    std::uint64_t mix_sum = 0;  // wraps modulo 2^64
    std::uint64_t mix_xor = 0;

    template <class T>
    void add(T const& item)
    {
        std::uint64_t const m = item_mix(item);
        ++count;
        mix_sum += m;
        mix_xor ^= m;
    }

    bool same_content(content_checksum const& other) const
    {
        return mix_sum == other.mix_sum && mix_xor == other.mix_xor;
    }
};

// What the checked output saw besides the order, which its sorted stream checks: the checksum of
// every item.
struct output_tally {
    content_checksum content;
};

// The output iterator of an experiment run: every item goes on to the sorted stream, which checks
// the order (and for element sums the keys as in the benchmark's own runs), and is folded into a
// tally.
template <class T>
class checked_output_of {
public:
    using iterator_category = std::output_iterator_tag;
    using value_type = void;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = void;

    checked_output_of(sorted_stream<T>& stream, output_tally& tally) : inner_(&stream), tally_(&tally) {}

    T& operator*() const { return *inner_; }

    checked_output_of& operator++()
    {
        // The stream checks the order (and counts what is out of it); the tally adds the item.
        tally_->content.add(inner_.stream->cur);
        ++inner_;
        return *this;
    }

private:
    typename sorted_stream<T>::iterator inner_;
    output_tally* tally_;
};

using checked_output = checked_output_of<element>;

// What a sort of some input must deliver: computed from the input before it is sorted.
template <class T>
struct expected_content_of {
    element key_sum;  // element only: as the benchmark's own check keeps it, element 0, then every further key added
    content_checksum content;

    static expected_content_of of(T const* first, T const* last);
};

// The output a sort delivers into and the verdict on it: the order, the item count, the checksum
// over whole items and, for element, the key sum of the benchmark's stream.
template <class T>
class output_check_of {
public:
    explicit output_check_of(expected_content_of<T> const& expected) : expected_(expected) {}
    output_check_of(output_check_of const&) = delete;
    output_check_of& operator=(output_check_of const&) = delete;

    checked_output_of<T> into() { return checked_output_of<T>(stream_, tally_); }

    // "ok", or every finding joined by "; ".
    std::string verdict() const;

private:
    expected_content_of<T> const expected_;
    sorted_stream<T> stream_;
    output_tally tally_;
};

extern template struct expected_content_of<element>;
extern template struct expected_content_of<int>;
extern template struct expected_content_of<record>;
extern template class output_check_of<element>;
extern template class output_check_of<int>;
extern template class output_check_of<record>;

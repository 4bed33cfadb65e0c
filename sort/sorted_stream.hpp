#pragma once
// The output sink of a benchmark sort. It does not keep the sequence: every item written through
// its iterator is checked against its predecessor in the item's order (a message on standard error
// when it is smaller) and, for element, its key is added to a checksum that wraps modulo 2^64.
// Only three items are kept.

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <type_traits>

#include "items/element.hpp"

template <class T>
class sorted_stream {
public:
    T prev{};  // the last element accepted
    T cur{};   // the element last written through an iterator, not yet accepted
    T sum{};   // element: key the sum of all accepted keys, payload that of the first; otherwise the first
    std::uint64_t out_of_order = 0;  // accepted elements smaller than their predecessor

    // Writes into a stream. The count of accepted elements lives here, not in the stream, so a
    // writer must keep using the advanced iterator value it gets back from std::copy and friends.
    class iterator {
    public:
        using iterator_category = std::output_iterator_tag;
        using value_type = void;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = void;

        explicit iterator(sorted_stream* s) : stream(s) {}

        // Assigning through the result only stores the element; the increment accepts it.
        T& operator*() const { return stream->cur; }

        iterator& operator++()
        {
            if (count != 0) {
                stream->accept_next(count);
            } else {
                stream->accept_first();
            }
            ++count;
            return *this;
        }

        sorted_stream* stream;
        std::int64_t count = 0;  // elements accepted through this iterator value
    };

private:
    void accept_first()
    {
        prev = cur;
        sum = cur;
    }

    // `position` is the zero-based position of `cur` in the output seen through one iterator.
    // The check costs one comparison; the report is kept out of the merge loops that write here.
    void accept_next(std::int64_t position)
    {
        if (cur < prev) {
            report_out_of_order(position);
        }
        prev = cur;
        if constexpr (std::is_same<T, element>::value) {
            sum.key += cur.key;  // unsigned arithmetic: wraps modulo 2^64
        }
    }

    // Positions are printed one-based and, like the message has always shown them, as 32-bit numbers.
    [[gnu::cold]] [[gnu::noinline]] void report_out_of_order(std::int64_t position)
    {
        ++out_of_order;
        std::cerr << "Elements " << static_cast<std::int32_t>(position) << " and "
                  << static_cast<std::int32_t>(position + 1) << " out of order: " << prev << '>' << cur << std::endl;
    }
};

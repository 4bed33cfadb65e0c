#pragma once
// The merge step of a two-way node for any item type with a strict weak order: one comparison
// per item, without a jump on its outcome, no look-ahead and no galloping. The element trees keep
// their own step (merger.hpp), which reads the key member directly; this one serves int, record
// and whatever else the order Less compares. Its moves are not counted.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "funnel/merge_count.hpp"

namespace funnel {

// Merges the sorted inputs [a, a_end) and [b, b_end) into out until `room` items have moved or
// one input runs empty; a goes first only when its head is strictly smaller, so equivalent items
// leave from b first, as in the element step. Returns the advanced output.
template <typename Less, typename T, typename OutputIterator>
OutputIterator merge_ordered(T*& a, T* a_end, T*& b, T* b_end, OutputIterator out, std::ptrdiff_t room,
                             Less const& less)
{
    T* x = a;
    T* y = b;
    for (; room > 0 && x != a_end && y != b_end; --room) {
        // Which input gives the next item is a coin toss on random keys: the source is selected
        // and both cursors advanced without a jump, so that no step waits on a mispredicted one.
        // (A conditional expression would be compiled back into a jump; indexing does not.)
        std::size_t const from_a = less(*x, *y) ? 1 : 0;
        T const* const heads[2] = {y, x};
        *out = *heads[from_a];
        x += from_a;
        y += 1 - from_a;
        ++out;
    }
    a = x;
    b = y;
    return out;
}

// simple_merger's contract (the result is the input that ran empty during this step, or `none`
// when out filled up first or neither input had items) with merge_ordered as the step. The order
// is an object of the step, so that a comparator with state (a user's lambda) reaches every node;
// the tree keeps one step and merges through it.
template <int Ways, typename Buffer, typename T, typename Less = std::less<T>>
struct ordered_merger {
    static_assert(Ways == 2, "the merge step joins two inputs");

    static constexpr int none = Ways;
    // Compares through the order, not by reading a key member.
    static constexpr bool reads_keys = false;

    typedef Less order_type;
    typedef no_merge_count count;

    Less order;

    int merge(Buffer& out, Buffer* in, std::int32_t /*x*/ = 1) const
    {
        bool const has0 = in[0].begin != in[0].end;
        bool const has1 = in[1].begin != in[1].end;
        if (has0 && has1) {
            out.begin = merge_ordered(in[0].begin, in[0].end, in[1].begin, in[1].end, out.begin,
                                      out.end - out.begin, order);
            if (in[0].begin == in[0].end) return 0;
            return in[1].begin == in[1].end ? 1 : none;
        }
        if (!has0 && !has1) return none;
        // One input left: a block copy, which runs it empty when all of it fits.
        int const only = has0 ? 0 : 1;
        Buffer& from = in[only];
        std::ptrdiff_t const moved = std::min(out.end - out.begin, from.end - from.begin);
        out.begin = std::copy(from.begin, from.begin + moved, out.begin);
        from.begin += moved;
        return from.begin == from.end ? only : none;
    }
};

}  // namespace funnel

#pragma once
// The merge step of a two-way node for any item type with a strict weak order: one comparison
// per item, no look-ahead and no galloping. The element trees keep their own step (merger.hpp),
// which reads the key member directly; this one serves int, record and whatever else the order
// Less compares.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "funnel/merger.hpp"

namespace funnel {

// Merges the sorted inputs [a, a_end) and [b, b_end) into out until `room` items have moved or
// one input runs empty; a goes first only when its head is strictly smaller, so equivalent items
// leave from b first, as in the element step. Returns the advanced output.
template <typename Less, typename T, typename OutputIterator>
OutputIterator merge_ordered(T*& a, T* a_end, T*& b, T* b_end, OutputIterator out, std::ptrdiff_t room, Less less)
{
    T* x = a;
    T* y = b;
    for (; room > 0 && x != a_end && y != b_end; --room) {
        if (less(*x, *y)) {
            *out = *x;
            ++x;
        } else {
            *out = *y;
            ++y;
        }
        ++out;
    }
    a = x;
    b = y;
    return out;
}

// simple_merger's contract (result: the input that ran empty, or `none`) with merge_ordered as
// the step.
template <int Ways, typename Buffer, typename T, typename Less = std::less<T>, typename Count = no_merge_count>
struct ordered_merger {
    static_assert(Ways == 2, "the merge step joins two inputs");

    static constexpr int none = Ways;

    typedef Count count;
    typedef Less less;

    static int merge(Buffer& out, Buffer* in, std::int32_t x = 1)
    {
        T* const out_before = out.begin;
        int const result = merge_any(out, in);
        Count::node_call(x, out.begin - out_before);
        return result;
    }

private:
    // As in simple_merger: with both inputs holding items, merge until out is full or one runs
    // empty (that one is the result); with one input left, a block copy, which counts as running
    // it empty when all of it fitted.
    static int merge_any(Buffer& out, Buffer* in)
    {
        bool const has0 = in[0].begin != in[0].end;
        bool const has1 = in[1].begin != in[1].end;
        if (has0 && has1) {
            out.begin = merge_ordered(in[0].begin, in[0].end, in[1].begin, in[1].end, out.begin,
                                      out.end - out.begin, Less());
            if (in[0].begin == in[0].end) return 0;
            if (in[1].begin == in[1].end) return 1;
            return none;
        }
        if (has0) return copy_one(out, in[0], 0);
        if (has1) return copy_one(out, in[1], 1);
        return none;
    }

    static int copy_one(Buffer& out, Buffer& in, int index)
    {
        std::ptrdiff_t const room = out.end - out.begin;
        std::ptrdiff_t const avail = in.end - in.begin;
        if (room < avail) {
            out.begin = std::copy(in.begin, in.begin + room, out.begin);
            in.begin += room;
            return none;
        }
        out.begin = std::copy(in.begin, in.end, out.begin);
        in.begin = in.end;
        return index;
    }
};

}  // namespace funnel

#pragma once
// The merge step of a two-way node and the refill policy of a leaf.

#include <algorithm>
#include <cstddef>

namespace funnel {

// Merges two sorted read views into the write view out, until out is full or one input runs
// empty. The result is the index of the input that ran empty during this step, or `none` (the
// number of ways) when out filled up first or neither input had data. Equal keys leave from
// input 1 first: input 0 wins only with a strictly smaller key.
template <int Ways, typename Buffer, typename T>
struct simple_merger {
    static_assert(Ways == 2, "the merge step joins two inputs");

    static constexpr int none = Ways;

    static int merge(Buffer& out, Buffer* in)
    {
        bool const has0 = in[0].begin != in[0].end;
        bool const has1 = in[1].begin != in[1].end;
        if (has0 && has1) {
            return merge_two(out, in);
        }
        if (has0) {
            return copy_one(out, in[0], 0);
        }
        if (has1) {
            return copy_one(out, in[1], 1);
        }
        return none;
    }

private:
    // With one input left the step is a block copy; the input counts as run empty when all of
    // it fitted, even if that also filled out.
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

    static int merge_two(Buffer& out, Buffer* in)
    {
        T* o = out.begin;
        T* const o_end = out.end;
        if (o == o_end) {
            return none;
        }
        T* a = in[0].begin;
        T* const a_end = in[0].end;
        T* b = in[1].begin;
        T* const b_end = in[1].end;
        int result = none;
        for (;;) {
            if (*a < *b) {
                *o++ = *a++;
                if (a == a_end) {
                    result = 0;
                    break;
                }
            } else {
                *o++ = *b++;
                if (b == b_end) {
                    result = 1;
                    break;
                }
            }
            if (o == o_end) {
                break;
            }
        }
        out.begin = o;
        in[0].begin = a;
        in[1].begin = b;
        return result;
    }
};

// A leaf's inputs are complete sorted runs: there is nothing to refill when one runs empty, so
// a leaf performs one merge step per call and returns.
template <typename Ptr>
struct nop_refill {
    template <typename Buffer>
    static void refill(Buffer* /*inputs*/, int /*exhausted*/)
    {
    }
};

}  // namespace funnel

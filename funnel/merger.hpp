#pragma once
// The merge step of a two-way node and the refill policy of a leaf.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace funnel {

// The bits of a where mask is set and those of b elsewhere; mask is all ones or all zeros. A
// merge chooses with masks rather than with a conditional: given a conditional on the comparison
// that steers a merge, the compiler emits a branch, and a branch on the comparison of random keys
// mispredicts half the time.
inline std::uint64_t blend(std::uint64_t mask, std::uint64_t a, std::uint64_t b)
{
    return b ^ ((a ^ b) & mask);
}

template <typename T>
T* blend(std::uint64_t mask, T* a, T* b)
{
    return reinterpret_cast<T*>(blend(mask, reinterpret_cast<std::uintptr_t>(a), reinterpret_cast<std::uintptr_t>(b)));
}

template <typename T>
T* advance_bytes(T* p, std::uint64_t bytes)
{
    return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(p) + bytes);
}

// Takes `steps` >= 1 elements from the heads of the sorted inputs a and b into out, the head with
// the smaller key each time and b's on equal keys, and returns the advanced output. Neither input
// may run out before the last step. T is ordered by its member `key` alone, as element is.
//
// The steps have no data-dependent branch: the comparison becomes a mask that picks the source
// and advances exactly one of the two cursors by one element's bytes. What bounds the speed is
// then the chain from one comparison to the next. Each step but the last therefore loads the keys
// that follow both heads before it knows which head it takes, and the next comparison waits only
// for the pick between keys already loaded, not for a load from the advanced cursor. The keys
// after the heads exist because neither input runs out before the last step.
template <typename T, typename OutputIterator>
OutputIterator merge_steps(T*& a, T*& b, OutputIterator out, std::ptrdiff_t steps)
{
    T* x = a;
    T* y = b;
    std::uint64_t key_x = x->key;
    std::uint64_t key_y = y->key;
    for (; steps > 1; --steps) {
        std::uint64_t const next_x = x[1].key;
        std::uint64_t const next_y = y[1].key;
        std::uint64_t const take_x = 0 - static_cast<std::uint64_t>(key_x < key_y);
        *out = *blend(take_x, x, y);
        ++out;
        std::uint64_t const x_step = sizeof(T) & take_x;
        x = advance_bytes(x, x_step);
        y = advance_bytes(y, sizeof(T) - x_step);
        key_x = blend(take_x, next_x, key_x);
        key_y = blend(take_x, key_y, next_y);
    }
    bool const take_x = key_x < key_y;
    *out = *(take_x ? x : y);
    ++out;
    x += take_x;
    y += !take_x;
    a = x;
    b = y;
    return out;
}

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

    // Merges in batches: as long as each batch takes no more steps than out has room and either
    // input holds elements, nothing can run out before its last step, so the steps themselves
    // need no bounds checks. After a batch only the input taken from last can have run empty.
    static int merge_two(Buffer& out, Buffer* in)
    {
        T* o = out.begin;
        T* const o_end = out.end;
        T* a = in[0].begin;
        T* const a_end = in[0].end;
        T* b = in[1].begin;
        T* const b_end = in[1].end;
        int result = none;
        while (o != o_end) {
            std::ptrdiff_t const steps = std::min(o_end - o, std::min(a_end - a, b_end - b));
            o = merge_steps(a, b, o, steps);
            if (a == a_end) {
                result = 0;
                break;
            }
            if (b == b_end) {
                result = 1;
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

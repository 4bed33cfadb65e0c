#pragma once
// The merge step of a two-way node and the refill policy of a leaf.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "funnel/merge_count.hpp"

namespace funnel {

// The bits of a where mask is set and those of b elsewhere; mask is all ones or all zeros. A
// merge chooses with masks or conditional moves rather than with a conditional jump: a jump on
// the comparison of random keys mispredicts half the time.
inline std::uint64_t blend(std::uint64_t mask, std::uint64_t a, std::uint64_t b)
{
    return b ^ ((a ^ b) & mask);
}

template <typename T>
T* blend(std::uint64_t mask, T* a, T* b)
{
    return reinterpret_cast<T*>(blend(mask, reinterpret_cast<std::uintptr_t>(a), reinterpret_cast<std::uintptr_t>(b)));
}

// A two-way merge under way: both heads, and the keys of the first two elements of each.
template <typename T>
struct merge_heads {
    T* x;
    T* y;
    std::uint64_t kx;       // x[0].key
    std::uint64_t kx_next;  // x[1].key
    std::uint64_t ky;       // y[0].key
    std::uint64_t ky_next;  // y[1].key
};

// One step of a two-way merge: returns the head to take, x's when kx < ky and y's otherwise
// (equal keys leave from y first), and advances that head by one element. The key of the element
// after the advanced head's next one, third_x or third_y, takes the place of kx_next or ky_next.
// T is ordered by its member `key` alone, as element is.
//
// The next comparison waits only for a pick between keys already in registers. The merge loads
// the keys two elements after the heads, so that a load from a just-advanced head has two steps
// to arrive before its key is compared. Merging random keys within the level-1 cache, a step takes
// about a fifth less time than with one element of look-ahead, where each step waited for a
// load; looking three ahead costs more picks per step than it saves.
//
// The portable step picks with masks; on x86-64 the same step is a comparison and seven
// conditional moves, which a compiler will not emit for this pattern on its own (it prefers a
// branch that mispredicts on random keys).
struct mask_step {
    template <typename T>
    static T* advance(merge_heads<T>& h, std::uint64_t third_x, std::uint64_t third_y)
    {
        std::uint64_t const take_x = 0 - static_cast<std::uint64_t>(h.kx < h.ky);
        T* const source = blend(take_x, h.x, h.y);
        h.x = blend(take_x, h.x + 1, h.x);
        h.y = blend(take_x, h.y, h.y + 1);
        h.kx = blend(take_x, h.kx_next, h.kx);
        h.kx_next = blend(take_x, third_x, h.kx_next);
        h.ky = blend(take_x, h.ky, h.ky_next);
        h.ky_next = blend(take_x, h.ky_next, third_y);
        return source;
    }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
struct cmov_step {
    template <typename T>
    static T* advance(merge_heads<T>& h, std::uint64_t third_x, std::uint64_t third_y)
    {
        T* const after_x = h.x + 1;
        T* const after_y = h.y + 1;
        T* source = h.y;
        // kx - ky sets the carry exactly when kx < ky (unsigned): then take x. Each key moves up
        // before its place is refilled.
        asm("cmpq %[ky], %[kx]\n\t"
            "cmovbq %[x], %[source]\n\t"
            "cmovbq %[after_x], %[x]\n\t"
            "cmovaeq %[after_y], %[y]\n\t"
            "cmovbq %[kx_next], %[kx]\n\t"
            "cmovbq %[third_x], %[kx_next]\n\t"
            "cmovaeq %[ky_next], %[ky]\n\t"
            "cmovaeq %[third_y], %[ky_next]"
            : [source] "+r"(source), [x] "+r"(h.x), [y] "+r"(h.y), [kx] "+r"(h.kx), [kx_next] "+r"(h.kx_next),
              [ky] "+r"(h.ky), [ky_next] "+r"(h.ky_next)
            : [after_x] "r"(after_x), [after_y] "r"(after_y), [third_x] "r"(third_x), [third_y] "r"(third_y)
            : "cc");
        return source;
    }
};
using fast_step = cmov_step;
#else
using fast_step = mask_step;
#endif

// Takes `steps` >= 1 elements from the heads of the sorted inputs a and b into out, the head with
// the smaller key each time and b's on equal keys, and returns the advanced output. Neither input
// may run out before the last step: then each holds at least `steps` elements, so every step but
// the last two may look two elements ahead of both heads.
//
// One chain of steps is faster here than two halves merged at once (a co-rank split): the
// two-ahead step keeps six values per chain in registers, and two chains run out of them.
template <typename Step = fast_step, typename T>
T* merge_steps(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    merge_heads<T> h{a, b, a->key, 0, b->key, 0};
    if (steps > 1) {
        h.kx_next = a[1].key;
        h.ky_next = b[1].key;
    }
    for (; steps > 2; --steps) {
        *out = *Step::advance(h, h.x[2].key, h.y[2].key);
        ++out;
    }
    // The last two steps load nothing: the keys they compare are in h already, and what they
    // leave in kx_next and ky_next is not read again.
    for (; steps > 0; --steps) {
        *out = *Step::advance(h, h.kx_next, h.ky_next);
        ++out;
    }
    a = h.x;
    b = h.y;
    return out;
}

// The number of leading elements of p[0 .. limit) for which before(element) holds, where those
// elements form a prefix: an exponential search from the front, then a binary search in the
// last doubling. Costs about 2 log2 of the result, so a long stretch is found cheaply.
template <typename T, typename Before>
std::ptrdiff_t leading_run(T const* p, std::ptrdiff_t limit, Before before)
{
    std::ptrdiff_t low = 0;   // p[0 .. low) are known to qualify
    std::ptrdiff_t high = 1;  // the next probe
    while (high <= limit && before(p[high - 1])) {
        low = high;
        high *= 2;
    }
    high = std::min(high - 1, limit);  // p[high] fails or high == limit
    while (low < high) {
        std::ptrdiff_t const mid = low + (high - low) / 2;
        if (before(p[mid])) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

// The first stretch of a long batch (see merge_stretches): short enough that input without long
// one-sided runs pays one test per few dozen steps at worst, long enough that a stretch taken
// wholly from one input hints at a run worth a search.
constexpr std::ptrdiff_t first_stretch = 64;

// A long batch of `steps` merge steps (neither input may run out before the last one) that
// exploits order in the inputs and leaves exactly what merge_steps leaves. The batch is merged in
// stretches. A stretch taken wholly from one input suggests a long run of it that precedes the
// other head: a galloping search measures that run and it is copied as one block. After a mixed
// stretch the next one is twice as long, so that input without such runs pays one test per few
// hundred steps.
template <typename T>
T* merge_stretches(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    constexpr std::ptrdiff_t longest_stretch = 512;
    std::ptrdiff_t stretch = first_stretch;
    while (steps > 0) {
        std::ptrdiff_t const plain = std::min(steps, stretch);
        T const* const a_before = a;
        out = merge_steps(a, b, out, plain);
        steps -= plain;
        std::ptrdiff_t const from_a = a - a_before;
        if (steps == 0) {
            return out;
        }
        if (from_a == plain) {
            std::uint64_t const head = b->key;
            std::ptrdiff_t const n = leading_run(a, steps, [head](T const& e) { return e.key < head; });
            out = std::copy(a, a + n, out);
            a += n;
            steps -= n;
            stretch = first_stretch;
        } else if (from_a == 0) {
            std::uint64_t const head = a->key;
            std::ptrdiff_t const n = leading_run(b, steps, [head](T const& e) { return e.key <= head; });
            out = std::copy(b, b + n, out);
            b += n;
            steps -= n;
            stretch = first_stretch;
        } else {
            stretch = std::min(2 * stretch, longest_stretch);
        }
    }
    return out;
}

// A batch of `steps` >= 1 merge steps, neither input running out before the last one: short
// batches, the common case near the leaves, go straight to the steps.
template <typename T>
T* merge_batch(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    if (steps <= first_stretch) {
        return merge_steps(a, b, out, steps);
    }
    return merge_stretches(a, b, out, steps);
}

// Before a batch: when all that an input may give (its elements, but at most room >= 1) precedes
// the other head, that is the merge's next output, and it moves as one block to out. True when a
// block moved; it leaves one input empty or out full. Always inlined: it runs once per batch, and
// as a call of its own it saves and restores more registers than its checks cost.
template <typename T>
[[gnu::always_inline]] inline bool copy_leading_block(T*& a, T* a_end, T*& b, T* b_end, T*& out, std::ptrdiff_t room)
{
    std::ptrdiff_t const from_a = std::min(a_end - a, room);
    if (a[from_a - 1].key < b->key) {
        out = std::copy(a, a + from_a, out);
        a += from_a;
        return true;
    }
    std::ptrdiff_t const from_b = std::min(b_end - b, room);
    if (b[from_b - 1].key <= a->key) {
        out = std::copy(b, b + from_b, out);
        b += from_b;
        return true;
    }
    return false;
}

// Whether the merge looks for a leading block (copy_leading_block) before its next batch. On
// ordered input most looks find one; on random keys almost none does, and each look costs a load
// that may miss the cache and a jump that may go the wrong way. So misses in a row make more and
// more of the following looks be skipped (1, 3, 7, ... up to longest_skip), and a block found
// makes every batch look again. Skipping a look changes only how the merge moves its elements: a
// leading block is exactly what the merge steps would move.
class block_lookout {
public:
    // Up to this many looks in a row are skipped: on random keys one look in 32 costs little,
    // and ordered input that follows finds its blocks again within as many batches.
    static constexpr std::uint32_t longest_skip = 31;
    // A block shorter than this counts as a miss: random keys give such blocks when an input is
    // down to its last few elements, and they save less than the looks cost.
    static constexpr std::ptrdiff_t worthwhile_block = 8;

    bool should_look()
    {
        if (skip_ == 0) {
            return true;
        }
        --skip_;
        return false;
    }

    // After a look that moved `moved` elements (0: it found no block).
    void saw(std::ptrdiff_t moved)
    {
        if (moved >= worthwhile_block) {
            next_skip_ = 0;
            return;
        }
        skip_ = next_skip_;
        next_skip_ = std::min(2 * next_skip_ + 1, longest_skip);
    }

private:
    std::uint32_t skip_ = 0;       // looks still to skip
    std::uint32_t next_skip_ = 0;  // looks to skip after the next miss
};

// One per thread, shared by every tree: consecutive merges of a sort see the same kind of input.
inline block_lookout& leading_block_lookout()
{
    thread_local block_lookout lookout;
    return lookout;
}

// copy_leading_block, when the thread's lookout says to look, and what it moved told to the
// lookout. False when it did not look.
template <typename T>
[[gnu::always_inline]] inline bool look_for_leading_block(T*& a, T* a_end, T*& b, T* b_end, T*& out,
                                                          std::ptrdiff_t room)
{
    block_lookout& lookout = leading_block_lookout();
    if (!lookout.should_look()) {
        return false;
    }
    T* const before = out;
    bool const moved = copy_leading_block(a, a_end, b, b_end, out, room);
    lookout.saw(out - before);
    return moved;
}

// Merges two sorted read views into the write view out, until out is full or one input runs
// empty. The result is the index of the input that ran empty during this step, or `none` (the
// number of ways) when out filled up first or neither input had data. Equal keys leave from
// input 1 first: input 0 wins only with a strictly smaller key. Every call is reported to Count
// with the node's breadth-first index x. Order names the order the step merges in, for the code
// around the tree (the base case, the leading blocks): element's key order, plain or stable.
template <int Ways, typename Buffer, typename T, typename Count = no_merge_count, typename Order = std::less<T>>
struct simple_merger {
    static_assert(Ways == 2, "the merge step joins two inputs");

    static constexpr int none = Ways;
    // Compares the key members directly.
    static constexpr bool reads_keys = true;

    typedef Count count;
    typedef Order order_type;

    Order order;

    // The dispatch and the one-input copy are inlined into the tree's fill loops, and the two-input
    // merge stays one call: near the leaves most calls move a few elements, and a call that saves
    // and restores the merge loop's registers costs as much as the move itself.
    [[gnu::always_inline]] static int merge(Buffer& out, Buffer* in, std::int32_t x = 1)
    {
        T* const out_before = out.begin;
        int const result = merge_any(out, in);
        Count::node_call(x, out.begin - out_before);
        return result;
    }

private:
    [[gnu::always_inline]] static int merge_any(Buffer& out, Buffer* in)
    {
        // Written as begin < end, which for a view is begin != end: it tells the compiler that an
        // input with data holds at least one element, so the inlined copies need no size checks.
        bool const has0 = in[0].begin < in[0].end;
        bool const has1 = in[1].begin < in[1].end;
        if (has0 && has1) {
            if (out.begin == out.end) {
                return none;
            }
            // On ordered input most calls near the leaves end with one block: that case stays
            // inline, and only a real merge pays for the call.
            if (look_for_leading_block(in[0].begin, in[0].end, in[1].begin, in[1].end, out.begin,
                                       out.end - out.begin)) {
                return after_block(in);
            }
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

    // With one input left the step is a block copy; the input counts as run empty when all of
    // it fitted, even if that also filled out.
    [[gnu::always_inline]] static int copy_one(Buffer& out, Buffer& in, int index)
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

    // The result after a leading block, which leaves one input empty or out full.
    [[gnu::always_inline]] static int after_block(Buffer const* in)
    {
        if (in[0].begin == in[0].end) {
            return 0;
        }
        if (in[1].begin == in[1].end) {
            return 1;
        }
        return none;
    }

    // Merges in batches, the first one at once (the caller found no leading block and room in
    // out): as long as each batch takes no more steps than out has room and either input holds
    // elements, nothing can run out before its last step, so the steps themselves need no bounds
    // checks. After a batch only the input taken from last can have run empty.
    [[gnu::noinline]] static int merge_two(Buffer& out, Buffer* in)
    {
        T* o = out.begin;
        T* const o_end = out.end;
        T* a = in[0].begin;
        T* const a_end = in[0].end;
        T* b = in[1].begin;
        T* const b_end = in[1].end;
        int result = none;
        for (;;) {
            std::ptrdiff_t const steps = std::min(o_end - o, std::min(a_end - a, b_end - b));
            o = merge_batch(a, b, o, steps);
            if (a == a_end) {
                result = 0;
                break;
            }
            if (b == b_end) {
                result = 1;
                break;
            }
            if (o == o_end) {
                break;
            }
            if (look_for_leading_block(a, a_end, b, b_end, o, o_end - o)) {
                result = a == a_end ? 0 : (b == b_end ? 1 : none);
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

    // After a leaf's step: its `count` runs now begin at inputs[i].begin, and began at before[i].
    // Nothing to do for runs in memory; a policy for runs in a mapped file may ask for what they
    // will read next.
    template <typename Buffer>
    static void advanced(Buffer const* /*inputs*/, Ptr const* /*before*/, int /*count*/)
    {
    }

    // Before the drivers' base case reads the part [first, last); it reads the parts that follow
    // in memory next.
    static void reading(Ptr /*first*/, Ptr /*last*/) {}
};

}  // namespace funnel

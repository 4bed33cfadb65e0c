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

// One step of a two-way merge over the heads x and y with their keys kx and ky: returns the head
// to take, x's when kx < ky and y's otherwise (equal keys leave from y first), and advances that
// head by one element; take_last is the same step without look-ahead, for the last of a batch.
// T is ordered by its member `key` alone, as element is.
//
// The keys after both heads are loaded before the comparison is known, and the new head key is
// picked from keys already loaded: the next comparison waits for that pick, not for a load from
// the advanced cursor. So both heads must have an element after them.
//
// The portable step picks with masks; on x86-64 the same step is a comparison and five
// conditional moves, which a compiler will not emit for this pattern on its own (it prefers a
// branch that mispredicts on random keys).
struct mask_step {
    template <typename T>
    static T* take(T*& x, T*& y, std::uint64_t& kx, std::uint64_t& ky)
    {
        std::uint64_t const next_x = x[1].key;
        std::uint64_t const next_y = y[1].key;
        std::uint64_t const take_x = 0 - static_cast<std::uint64_t>(kx < ky);
        T* const source = blend(take_x, x, y);
        x = blend(take_x, x + 1, x);
        y = blend(take_x, y, y + 1);
        kx = blend(take_x, next_x, kx);
        ky = blend(take_x, ky, next_y);
        return source;
    }

    template <typename T>
    static T* take_last(T*& x, T*& y, std::uint64_t kx, std::uint64_t ky)
    {
        std::uint64_t const take_x = 0 - static_cast<std::uint64_t>(kx < ky);
        T* const source = blend(take_x, x, y);
        x = blend(take_x, x + 1, x);
        y = blend(take_x, y, y + 1);
        return source;
    }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
struct cmov_step {
    template <typename T>
    static T* take(T*& x, T*& y, std::uint64_t& kx, std::uint64_t& ky)
    {
        std::uint64_t const next_x = x[1].key;
        std::uint64_t const next_y = y[1].key;
        T* const after_x = x + 1;
        T* const after_y = y + 1;
        T* source = y;
        // kx - ky sets the carry exactly when kx < ky (unsigned): then take x.
        asm("cmpq %[ky], %[kx]\n\t"
            "cmovbq %[x], %[source]\n\t"
            "cmovbq %[after_x], %[x]\n\t"
            "cmovaeq %[after_y], %[y]\n\t"
            "cmovbq %[next_x], %[kx]\n\t"
            "cmovaeq %[next_y], %[ky]"
            : [source] "+r"(source), [x] "+r"(x), [y] "+r"(y), [kx] "+r"(kx), [ky] "+r"(ky)
            : [after_x] "r"(after_x), [after_y] "r"(after_y), [next_x] "r"(next_x), [next_y] "r"(next_y)
            : "cc");
        return source;
    }

    template <typename T>
    static T* take_last(T*& x, T*& y, std::uint64_t kx, std::uint64_t ky)
    {
        T* const after_x = x + 1;
        T* const after_y = y + 1;
        T* source = y;
        asm("cmpq %[ky], %[kx]\n\t"
            "cmovbq %[x], %[source]\n\t"
            "cmovbq %[after_x], %[x]\n\t"
            "cmovaeq %[after_y], %[y]"
            : [source] "+r"(source), [x] "+r"(x), [y] "+r"(y)
            : [kx] "r"(kx), [ky] "r"(ky), [after_x] "r"(after_x), [after_y] "r"(after_y)
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
// may run out before the last step, which is why every step but the last may look one element
// ahead of both heads.
template <typename Step = fast_step, typename T>
T* merge_steps(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    T* x = a;
    T* y = b;
    std::uint64_t kx = x->key;
    std::uint64_t ky = y->key;
    for (; steps > 1; --steps) {
        *out = *Step::take(x, y, kx, ky);
        ++out;
    }
    *out = *Step::take_last(x, y, kx, ky);
    ++out;
    a = x;
    b = y;
    return out;
}

// How many of the first h elements of the merge of a and b (b's first on equal keys) come from
// a; both inputs must hold at least h elements. A binary search for the split of the merge path:
// a[i] belongs to the first h exactly when it precedes b[h - i - 1].
template <typename T>
std::ptrdiff_t co_rank(T const* a, T const* b, std::ptrdiff_t h)
{
    // The answer lies in [low, low + count]; written so that the halving needs no jump on the
    // outcome of the comparison, which is as random as the keys.
    std::ptrdiff_t low = 0;
    std::ptrdiff_t count = h;
    while (count > 0) {
        std::ptrdiff_t const half = count / 2;
        std::ptrdiff_t const mid = low + half;
        // All ones when a[mid] belongs to the first h: then the answer lies above mid.
        std::ptrdiff_t const above = -static_cast<std::ptrdiff_t>(a[mid].key < b[h - mid - 1].key);
        low += (half + 1) & above;
        count = half + ((count - 2 * half - 1) & above);
    }
    return low;
}

// merge_steps for an output array, as two independent halves: a co-rank search finds where the
// first half of the output ends in each input, and both halves are then merged at once, step
// by step in turn. Each half waits on its own comparisons only, so the processor overlaps the
// two chains. Both halves merge forwards, so equal keys leave exactly as in merge_steps. Needs
// steps >= 4, so that the first half's look-ahead stays inside both inputs.
template <typename Step = fast_step, typename T>
T* merge_steps_split(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    std::ptrdiff_t const half = steps / 2;
    std::ptrdiff_t const from_a = co_rank(a, b, half);
    T* x1 = a;
    T* y1 = b;
    T* x2 = a + from_a;
    T* y2 = b + (half - from_a);
    std::uint64_t kx1 = x1->key;
    std::uint64_t ky1 = y1->key;
    std::uint64_t kx2 = x2->key;
    std::uint64_t ky2 = y2->key;
    T* o1 = out;
    T* o2 = out + half;
    // The second half is at least as long; its last step must not look ahead.
    for (std::ptrdiff_t i = 0; i < half - 1; ++i) {
        T const* const s1 = Step::take(x1, y1, kx1, ky1);
        T const* const s2 = Step::take(x2, y2, kx2, ky2);
        o1[i] = *s1;
        o2[i] = *s2;
    }
    o1[half - 1] = *Step::take(x1, y1, kx1, ky1);
    T* const end = merge_steps<Step>(x2, y2, o2 + (half - 1), steps - half - (half - 1));
    a = x2;
    b = y2;
    return end;
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

// Batches shorter than this are merged in one chain: the co-rank search of split halves does
// not pay for itself below it.
constexpr std::ptrdiff_t split_batch_from = 48;

// A long batch of `steps` merge steps (neither input may run out before the last one) that
// exploits order in the inputs and leaves exactly what merge_steps leaves. The batch is merged in
// stretches, each in split halves. A stretch taken wholly from one input
// suggests a long run of it that precedes the other head: a galloping search measures that run
// and it is copied as one block. After a mixed stretch the next one is twice as long, so that
// input without such runs pays one test per few hundred steps.
template <typename T>
T* merge_stretches(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    constexpr std::ptrdiff_t first_stretch = 64;
    constexpr std::ptrdiff_t longest_stretch = 512;
    std::ptrdiff_t stretch = first_stretch;
    while (steps >= split_batch_from) {
        std::ptrdiff_t const plain = std::min(steps, stretch);
        T const* const a_before = a;
        out = merge_steps_split(a, b, out, plain);
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
    if (steps > 0) {
        out = merge_steps(a, b, out, steps);
    }
    return out;
}

// A batch of `steps` >= 1 merge steps, neither input running out before the last one: short
// batches, the common case near the leaves, go straight to the one-chain steps.
template <typename T>
T* merge_batch(T*& a, T*& b, T* out, std::ptrdiff_t steps)
{
    if (steps < split_batch_from) {
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

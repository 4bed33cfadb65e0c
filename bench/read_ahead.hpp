#pragma once
// The leaves' refill policy for runs in a mapped file, which also serves the base case. With
// random-access advice on the mapping (see variants.cpp) a fault reads only its own page, and the
// funnel, which reads its runs a few pages at a time at many places at once, would wait for one
// page after another. So each time a leaf's run crosses into the next block, the block after it
// is asked for: the kernel reads it while the sort goes on, one read per block instead of one
// fault per page, and at most two blocks of each run are in flight or waiting. The base case,
// which reads the input part after part, asks for its next block the same way.

#include <cstdint>

#include "auto_array/scratch_mapping.hpp"
#include "funnel/merger.hpp"

namespace read_ahead {

// 32 KiB: eight pages in one read, where a fault reads one. Each run holds up to two blocks at a
// time, so a merge of a few hundred runs keeps some 20 MiB in flight; at 16,777,216 elements
// under 64 MiB, blocks of 128 KiB and more were evicted before they were used (the funnel read
// 1.4 times the bytes and took 1.5 times as long), 32 and 64 KiB took half the time of none.
constexpr std::uintptr_t block_bytes = std::uintptr_t{1} << 15;

// Addresses [start, start + bytes) to ask for; none when bytes is 0.
struct span {
    std::uintptr_t start;
    std::uintptr_t bytes;
};

// For a run that read from address before up to now, and ends at end: when now lies in a later
// block than before, the block after now's, as far as the run goes; otherwise none.
inline span block_to_ask(std::uintptr_t before, std::uintptr_t now, std::uintptr_t end)
{
    if (before / block_bytes == now / block_bytes) return {0, 0};
    std::uintptr_t const next = (now / block_bytes + 1) * block_bytes;
    if (next >= end) return {0, 0};
    return {next, end - next < block_bytes ? end - next : block_bytes};
}

// Asks the kernel for block_to_ask's block, if there is one.
inline void after_step(void const* before, void const* now, std::uintptr_t end)
{
    span const ask =
        block_to_ask(reinterpret_cast<std::uintptr_t>(before), reinterpret_cast<std::uintptr_t>(now), end);
    if (ask.bytes != 0) auto_array::advise_will_need(reinterpret_cast<void const*>(ask.start), ask.bytes);
}

template <typename Ptr>
struct run_advice : funnel::nop_refill<Ptr> {
    template <typename Buffer>
    static void advanced(Buffer const* inputs, Ptr const* before, int count)
    {
        for (int i = 0; i < count; ++i) {
            after_step(before[i], inputs[i].begin, reinterpret_cast<std::uintptr_t>(inputs[i].end));
        }
    }

    // The base case reads its parts one after the other, across the calls of the recursion: as it
    // reaches a new block, the next one is asked for, also where the next part belongs to the next
    // call. Past the last part that block may lie beyond the array; the advice is then refused or
    // reads a neighbour's pages early, and changes nothing else.
    static void reading(Ptr first, Ptr last)
    {
        after_step(first, last, reinterpret_cast<std::uintptr_t>(last) + 2 * block_bytes);
    }
};

}  // namespace read_ahead

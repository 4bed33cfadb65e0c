#pragma once
// Leading blocks of a batch, moved before the tree merges the rest. The tree merges a batch of
// sorted runs so that equal items leave from the higher input slot first (input 1 first at every
// node): its output is the runs' items ordered by key, then by slot from the highest down, then by
// position. So whenever one run's next items all precede every other run's head in that order,
// the tree would pass them on as one block, unchanged, through every level. Moving such blocks
// straight to the output, one copy instead of one per level, gives exactly the tree's output.
//
// Sorted, reversed and constant inputs make every run one block; a few keys out of place, or few
// distinct keys, make long blocks. Random keys make blocks of one or two items, which cost more
// this way than in the tree: the moves stop as soon as blocks turn out short on average, and the
// tree merges whatever is left of the runs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "funnel/merger.hpp"

namespace run_order_detail {

// The largest batch looked at; its runs are kept in a stack array of this many entries
// (16 KiB). With the benchmark's tuning the fan-out reaches it only past a billion elements (about
// 190 at 15,360,000); a larger batch is simply merged through its tree.
constexpr std::ptrdiff_t max_runs = 1024;

// A block costs a step of the heap of runs and a search for its end, about as much as moving a
// dozen items through one level of the tree: blocks shorter than this on average do not pay.
constexpr std::ptrdiff_t min_mean_block = 12;

// What the first blocks may fall short by before the moves stop: one short block at the start of a
// batch (a key out of place) does not end them, and random keys stop after the second block. Later
// short blocks draw on what the long ones before them saved.
constexpr std::ptrdiff_t short_block_allowance = min_mean_block;

// The first items of a block are counted in a window of this many without a branch per item: most
// blocks end within it, and a search would pay a mispredicted branch for every step.
constexpr std::ptrdiff_t counted_window = 16;

// The number of leading items of [first, last) that satisfy precedes; they form a prefix. A block
// that fills the counted window goes on with the merge step's exponential search.
template <class T, class Precedes>
std::ptrdiff_t block_length(T const* first, T const* last, Precedes precedes)
{
    std::ptrdiff_t const n = last - first;
    std::ptrdiff_t const window = std::min(n, counted_window);
    std::ptrdiff_t known = 0;  // first[0 .. known) precede
    for (std::ptrdiff_t i = 0; i < window; ++i) {
        known += precedes(first[i]) ? 1 : 0;
    }
    if (known < window) {
        return known;
    }
    return known + funnel::leading_run(first + known, n - known, precedes);
}

// A run in the heap of runs: where its head lies, and its slot.
template <class T>
struct head_entry {
    T const* head;
    std::int32_t slot;
};

// True when a's head leaves before b's in the order less: a smaller item, or an equal one from
// the higher slot. Both comparisons are made and combined without a jump: which head leaves first
// is as hard to predict as a merge step.
template <class T, class Less>
bool leaves_before(head_entry<T> const& a, head_entry<T> const& b, Less const& less)
{
    bool const smaller = less(*a.head, *b.head);
    bool const larger = less(*b.head, *a.head);
    return smaller | (!larger & (a.slot > b.slot));
}

// Moves heap[0], whose head has advanced, down to its place among the n entries (the children of
// position i are 2i + 1 and 2i + 2, as in std::make_heap).
template <class T, class Less>
void sift_down(head_entry<T>* heap, std::ptrdiff_t n, Less const& less)
{
    head_entry<T> const moving = heap[0];
    std::ptrdiff_t i = 0;
    for (;;) {
        std::ptrdiff_t child = 2 * i + 1;
        if (child >= n) break;
        if (child + 1 < n) {
            child += leaves_before(heap[child + 1], heap[child], less) ? 1 : 0;
        }
        if (!leaves_before(heap[child], moving, less)) break;
        heap[i] = heap[child];
        i = child;
    }
    heap[i] = moving;
}

}  // namespace run_order_detail

// Moves leading blocks of the runs in tree's input slots to out, advancing the slots past what it
// moved, for as long as the blocks are long on average. Returns true when every run is used up,
// so that the tree has nothing left to merge. The items are ordered as the tree's merge step
// orders them.
template <class Merger, class OutputIterator>
bool move_leading_blocks(Merger& tree, OutputIterator& out)
{
    using item = typename Merger::value_type;
    using entry = run_order_detail::head_entry<item>;
    namespace detail = run_order_detail;
    auto const& less = tree.merger.order;
    auto* const slots = tree.inputs_begin;
    std::ptrdiff_t const batch = tree.inputs_end - tree.inputs_begin;
    if (batch > detail::max_runs) {
        return false;
    }
    // A heap of the runs with the head that leaves first on top.
    entry heap[detail::max_runs];
    std::ptrdiff_t runs = 0;
    for (std::ptrdiff_t i = 0; i < batch; ++i) {
        if (slots[i].begin != slots[i].end) {
            heap[runs++] = entry{slots[i].begin, static_cast<std::int32_t>(i)};
        }
    }
    std::make_heap(heap, heap + runs, [&less](entry const& a, entry const& b) { return detail::leaves_before(b, a, less); });
    std::ptrdiff_t credit = detail::short_block_allowance;
    while (runs > 1) {
        // The first run's next items that leave before the second head: smaller ones, and equal
        // ones too when the first run lies in the higher slot.
        entry const next = runs == 2 || detail::leaves_before(heap[1], heap[2], less) ? heap[1] : heap[2];
        auto& run = slots[heap[0].slot];
        item const& bound = *next.head;
        std::ptrdiff_t const length =
            heap[0].slot > next.slot
                ? detail::block_length(run.begin, run.end, [&](item const& x) { return !less(bound, x); })
                : detail::block_length(run.begin, run.end, [&](item const& x) { return less(x, bound); });
        out = std::copy(run.begin, run.begin + length, out);
        Merger::merger_type::count::leading_block(length);
        run.begin += length;
        if (run.begin == run.end) {
            heap[0] = heap[--runs];
        } else {
            heap[0].head = run.begin;
        }
        detail::sift_down(heap, runs, less);
        credit += length - detail::min_mean_block;
        if (credit < 0) {
            return false;
        }
    }
    if (runs == 1) {
        auto& last = slots[heap[0].slot];
        out = std::copy(last.begin, last.end, out);
        Merger::merger_type::count::leading_block(last.end - last.begin);
        last.begin = last.end;
    }
    return true;
}

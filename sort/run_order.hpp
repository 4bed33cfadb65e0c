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

namespace run_order_detail {

// The largest batch looked at; its runs are kept in a stack array of this many slot numbers
// (4 KiB). Fan-outs stay far below it for any input that fits in memory, and a larger batch is
// simply merged through its tree.
constexpr std::ptrdiff_t max_runs = 1024;

// A block costs a step of the heap of runs and a search for its end, about as much as moving a
// dozen items through one level of the tree: blocks shorter than this on average do not pay.
constexpr std::ptrdiff_t min_mean_block = 12;

// Short blocks forgiven before the moves stop, so that an odd short block amid long ones (a key
// out of place) does not end them.
constexpr std::ptrdiff_t short_block_allowance = 4 * min_mean_block;

// The number of leading items of [first, last) that satisfy precedes; they form a prefix. An
// exponential search from the front, so that a block of b items costs about 2 log b comparisons.
template <class T, class Precedes>
std::ptrdiff_t block_length(T const* first, T const* last, Precedes precedes)
{
    std::ptrdiff_t const n = last - first;
    std::ptrdiff_t known = 0;  // first[0 .. known) precede
    std::ptrdiff_t step = 1;
    while (known + step <= n && precedes(first[known + step - 1])) {
        known += step;
        step *= 2;
    }
    // The answer lies in [known, min(known + step, n + 1) - 1]; halve that span.
    std::ptrdiff_t high = std::min(known + step - 1, n);  // first[high] fails, or high == n
    while (known < high) {
        std::ptrdiff_t const mid = known + (high - known) / 2;
        if (precedes(first[mid])) {
            known = mid + 1;
        } else {
            high = mid;
        }
    }
    return known;
}

}  // namespace run_order_detail

// Moves leading blocks of the runs in tree's input slots to out, advancing the slots past what it
// moved, for as long as the blocks are long on average. Returns true when every run is used up,
// so that the tree has nothing left to merge. The trees order their items by std::less of the
// item type (element: by key).
template <class Merger, class OutputIterator>
bool move_leading_blocks(Merger& tree, OutputIterator& out)
{
    using item = typename Merger::value_type;
    namespace detail = run_order_detail;
    std::less<item> const less;
    auto* const slots = tree.inputs_begin;
    std::ptrdiff_t const batch = tree.inputs_end - tree.inputs_begin;
    if (batch > detail::max_runs) {
        return false;
    }
    // The order of the runs' heads: by key, then by slot from the highest down. As a heap
    // (std::push_heap keeps the greatest first), the comparison says "comes after".
    auto const comes_after = [&](std::int32_t a, std::int32_t b) {
        item const& head_a = *slots[a].begin;
        item const& head_b = *slots[b].begin;
        if (less(head_b, head_a)) return true;
        if (less(head_a, head_b)) return false;
        return a < b;
    };
    std::int32_t heap[detail::max_runs];
    std::ptrdiff_t runs = 0;
    for (std::ptrdiff_t i = 0; i < batch; ++i) {
        if (slots[i].begin != slots[i].end) {
            heap[runs++] = static_cast<std::int32_t>(i);
        }
    }
    std::make_heap(heap, heap + runs, comes_after);
    std::ptrdiff_t credit = detail::short_block_allowance;
    while (runs > 1) {
        std::pop_heap(heap, heap + runs, comes_after);
        std::int32_t const first = heap[runs - 1];
        std::int32_t const next = heap[0];
        auto& run = slots[first];
        // The items of the first run that precede the next run's head: smaller keys, and equal
        // ones when the first run lies in the higher slot.
        item const& bound = *slots[next].begin;
        bool const ties_go_first = first > next;
        std::ptrdiff_t const length = detail::block_length(run.begin, run.end, [&](item const& x) {
            return less(x, bound) || (ties_go_first && !less(bound, x));
        });
        out = std::copy(run.begin, run.begin + length, out);
        Merger::merger_type::count::leading_block(length);
        run.begin += length;
        if (run.begin == run.end) {
            --runs;
        } else {
            std::push_heap(heap, heap + runs, comes_after);
        }
        credit += length - detail::min_mean_block;
        if (credit < 0) {
            return false;
        }
    }
    if (runs == 1) {
        auto& last = slots[heap[0]];
        out = std::copy(last.begin, last.end, out);
        Merger::merger_type::count::leading_block(last.end - last.begin);
        last.begin = last.end;
    }
    return true;
}

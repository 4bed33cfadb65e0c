#pragma once
// The base case's scratch: room for 2 * capacity elements, one block per thread, made for the
// thread's first base-case part and kept for the thread's life. At 1 MiB it is too large for
// the stack of every thread that may call a sort (a library caller's thread may have a small
// stack), and allocating it per part would cost more than sorting a short part. The two base
// cases use it one at a time: neither calls the other, nor anything that could.

#include <cstddef>

#include "items/element.hpp"
#include "sort/small_quicksort.hpp"
#include "sort/thread_block.hpp"

namespace small_sort_detail {

struct scratch_owner;

inline element* thread_scratch()
{
    return static_cast<element*>(per_thread::block<scratch_owner, 2 * capacity * sizeof(element)>());
}

}  // namespace small_sort_detail

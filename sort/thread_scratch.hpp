#pragma once
// The base case's scratch: room for 2 * capacity elements, one block per thread, made for the
// thread's first base-case part and kept for the thread's life. At 1 MiB it is too large for
// the stack of every thread that may call a sort (a library caller's thread may have a small
// stack), and allocating it per part would cost more than sorting a short part. The two base
// cases use it one at a time: neither calls the other, nor anything that could.

#include <cstddef>
#include <memory>
#include <new>

#include "items/element.hpp"
#include "sort/small_quicksort.hpp"

namespace small_sort_detail {

inline element* thread_scratch()
{
    struct release {
        void operator()(element* block) const { ::operator delete(block); }
    };
    thread_local std::unique_ptr<element, release> block;
    if (!block) {
        // Raw memory, left uncleared: the sorts write each element before they read it.
        block.reset(static_cast<element*>(::operator new(2 * capacity * sizeof(element))));
    }
    return block.get();
}

}  // namespace small_sort_detail

#pragma once
// Memory a sort keeps per thread: one block of Bytes bytes for each thread and Owner (a type that
// names its user, so that two users of the same size never share a block), made on the thread's
// first call and kept for the thread's life. For blocks too large for the stack of every thread
// that may call a sort, and too costly to allocate for every part.

#include <cstddef>
#include <memory>
#include <new>

namespace per_thread {

template <typename Owner, std::size_t Bytes>
void* block()
{
    struct release {
        void operator()(void* block) const { ::operator delete(block); }
    };
    thread_local std::unique_ptr<void, release> memory;
    if (!memory) {
        // Raw memory, left uncleared: its users write every place before they read it.
        memory.reset(::operator new(Bytes));
    }
    return memory.get();
}

}  // namespace per_thread

#pragma once
// A standard-allocator stand-in for the sort tests: it counts requests, keeps track of the bytes
// currently taken and the most ever taken at once, and can be told to fail on the N-th request,
// so that every exception path of a sort can be walked and checked for leaks.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace test_support {

struct allocation_log {
    std::uint64_t requests = 0;
    std::uint64_t fail_at = 0;  // the request that throws std::bad_alloc; 0: none does
    std::uint64_t live_bytes = 0;
    std::uint64_t peak_bytes = 0;
    std::int64_t live_blocks = 0;
};

template <class T>
class counting_allocator {
public:
    using value_type = T;

    template <class U>
    struct rebind {
        using other = counting_allocator<U>;
    };

    explicit counting_allocator(allocation_log* l) : log(l) {}

    template <class U>
    counting_allocator(counting_allocator<U> const& other) : log(other.log)
    {
    }

    T* allocate(std::size_t n)
    {
        if (++log->requests == log->fail_at) {
            throw std::bad_alloc();
        }
        T* const p = std::allocator<T>().allocate(n);
        log->live_bytes += n * sizeof(T);
        log->peak_bytes = std::max(log->peak_bytes, log->live_bytes);
        ++log->live_blocks;
        return p;
    }

    void deallocate(T* p, std::size_t n)
    {
        std::allocator<T>().deallocate(p, n);
        log->live_bytes -= n * sizeof(T);
        --log->live_blocks;
    }

    template <class U>
    bool operator==(counting_allocator<U> const& other) const
    {
        return log == other.log;
    }

    template <class U>
    bool operator!=(counting_allocator<U> const& other) const
    {
        return log != other.log;
    }

    allocation_log* log;
};

}  // namespace test_support

#pragma once
// An allocator for failure tests: it fails the N-th request with std::bad_alloc and keeps the
// blocks it handed out as a stack, counting every release that is not of the latest block.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

struct allocation_log {
    int requests = 0;
    int fail_at = 0;  // the request that fails, counted from 1; 0 for none
    std::vector<void*> live;
    int out_of_order = 0;
};

template <typename T>
class failing_allocator {
public:
    typedef T value_type;

    explicit failing_allocator(allocation_log* log) : log(log) {}

    template <typename U>
    failing_allocator(failing_allocator<U> const& other) : log(other.log)
    {
    }

    T* allocate(std::size_t n)
    {
        ++log->requests;
        if (log->requests == log->fail_at) {
            throw std::bad_alloc();
        }
        T* p = std::allocator<T>().allocate(n);
        log->live.push_back(p);
        return p;
    }

    void deallocate(T* p, std::size_t n)
    {
        if (!log->live.empty() && log->live.back() == p) {
            log->live.pop_back();
        } else {
            ++log->out_of_order;
            auto const found = std::find(log->live.begin(), log->live.end(), static_cast<void*>(p));
            if (found != log->live.end()) {
                log->live.erase(found);
            }
        }
        std::allocator<T>().deallocate(p, n);
    }

    template <typename U>
    bool operator==(failing_allocator<U> const& other) const
    {
        return log == other.log;
    }

    template <typename U>
    bool operator!=(failing_allocator<U> const& other) const
    {
        return log != other.log;
    }

private:
    template <typename U>
    friend class failing_allocator;

    allocation_log* log;
};

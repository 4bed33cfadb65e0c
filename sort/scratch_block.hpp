#pragma once
// The scratch block of a recursive call: room for its largest part's sorted output while the
// other parts are rotated into place. It is given back right after it has been copied out, or,
// when an exception leaves the call, by the destructor, so that nothing leaks and a pool gets its
// blocks back in the reverse order of taking them.

#include <cstddef>
#include <memory>

template <class Allocator>
class scratch_block {
public:
    using value_type = typename std::allocator_traits<Allocator>::value_type;

    scratch_block(Allocator const& a, std::size_t n) : alloc(a), size(n), data_(alloc.allocate(n)) {}

    scratch_block(scratch_block const&) = delete;
    scratch_block& operator=(scratch_block const&) = delete;

    ~scratch_block() { release(); }

    value_type* data() const { return data_; }

    void release()
    {
        if (data_ != nullptr) {
            alloc.deallocate(data_, size);
            data_ = nullptr;
        }
    }

private:
    Allocator alloc;
    std::size_t size;
    value_type* data_;
};

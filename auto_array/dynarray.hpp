#pragma once
// The heap side of the array library: the root class FArray, the heap memory policy HeapMemMan
// and dynarray, an array whose storage is shared by reference count among its copies.

#include <utility>

#include "auto_array/ref_count.hpp"

namespace auto_array {

template <typename T>
class map_array;

// Root of the array classes; owns nothing.
template <typename T>
class FArray {
public:
    FArray() = default;
    FArray(FArray const&) = default;
    FArray& operator=(FArray const&) = default;
    virtual ~FArray() = default;
};

// Memory policy of dynarray: items come from new[] and go back with delete[].
struct HeapMemMan {
    template <typename T>
    static T* Allocate(unsigned long count)
    {
        return new T[count];
    }

    template <typename T>
    static void Free(T* items)
    {
        delete[] items;
    }
};

// An array of count items from MemMan, shared by all copies; the last copy frees it.
// The reference count is a plain counter: copies must stay in one thread.
template <typename T, typename MemMan = HeapMemMan>
class dynarray : public FArray<T> {
public:
    // Owns nothing.
    dynarray() = default;

    explicit dynarray(unsigned long count) : data(MemMan::template Allocate<T>(count)), count(count)
    {
        try {
            refs = detail::new_reference_count();
        } catch (...) {
            MemMan::Free(data);
            throw;
        }
    }

    dynarray(dynarray const& other) : FArray<T>(other), data(other.data), refs(other.refs), count(other.count)
    {
        if (data != nullptr) {
            detail::add_reference(refs);
        }
    }

    // A mapped array must never end up owned by its heap part, which would give the mapped
    // items to delete[]; copy it as a map_array instead.
    template <typename U>
    dynarray(map_array<U> const&) = delete;

    dynarray& operator=(dynarray other)
    {
        Swap(other);
        return *this;
    }

    ~dynarray() override
    {
        if (data != nullptr && detail::drop_reference(refs)) {
            MemMan::Free(data);
        }
    }

    T* Data() const { return data; }
    unsigned long Count() const { return count; }

protected:
    void Swap(dynarray& other) noexcept
    {
        std::swap(data, other.data);
        std::swap(refs, other.refs);
        std::swap(count, other.count);
    }

    T* data = nullptr;  // null when nothing is owned
    long* refs = nullptr;
    unsigned long count = 0;
};

}  // namespace auto_array

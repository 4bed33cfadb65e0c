#include <type_traits>

#include <gtest/gtest.h>

#include "auto_array/dynarray.hpp"
#include "auto_array/map_array.hpp"

namespace {

// A heap policy that counts what it hands out and takes back.
struct counting_mem_man {
    static inline int allocations = 0;
    static inline int frees = 0;

    template <typename T>
    static T* Allocate(unsigned long count)
    {
        ++allocations;
        return new T[count];
    }

    template <typename T>
    static void Free(T* items)
    {
        ++frees;
        delete[] items;
    }
};

using counted_array = auto_array::dynarray<int, counting_mem_man>;

// A heap part holding mapped items would hand them to delete[].
static_assert(!std::is_constructible_v<auto_array::dynarray<int>, auto_array::map_array<int> const&>);
static_assert(std::is_copy_constructible_v<auto_array::map_array<int>>);

TEST(Dynarray, CopiesShareOneArrayThatTheLastOwnerFrees)
{
    counting_mem_man::allocations = 0;
    counting_mem_man::frees = 0;
    {
        counted_array first(8);
        ASSERT_EQ(first.Count(), 8u);
        first.Data()[7] = 42;
        {
            counted_array copy(first);
            counted_array other(3);
            other = copy;  // other's own array goes now
            EXPECT_EQ(counting_mem_man::frees, 1);
            EXPECT_EQ(other.Data(), first.Data());
            EXPECT_EQ(other.Count(), 8u);
            other = other;
        }
        EXPECT_EQ(counting_mem_man::frees, 1);
        EXPECT_EQ(first.Data()[7], 42);
    }
    EXPECT_EQ(counting_mem_man::allocations, 2);
    EXPECT_EQ(counting_mem_man::frees, 2);

    counted_array empty;
    counted_array empty_copy(empty);
    EXPECT_EQ(empty_copy.Data(), nullptr);
    EXPECT_EQ(counting_mem_man::frees, 2);
}

}  // namespace

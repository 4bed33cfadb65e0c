#include "alloc/stack_allocator.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "items/element.hpp"

namespace {

constexpr char const* out_of_space = "stack_allocator: ran out of pool space";
constexpr char const* no_pool =
    "stack_allocator: allocating from deallocated allocator (don't dynamically allocate allocators)";

// Runs f and returns the what() of the stack_bad_alloc it throws ("" if it throws nothing).
template <typename F>
std::string pool_failure(F f)
{
    try {
        f();
    } catch (stack_allocator_head::stack_bad_alloc const& e) {
        return e.what();
    }
    return "";
}

TEST(StackAllocator, HundredBytePoolLiesAtTheEndOfItsBlock)
{
    stack_allocator<char> pool(100);
    stack_allocator_head* head = pool.pool();
    ASSERT_NE(head, nullptr);
    char* const block = reinterpret_cast<char*>(head);
    char* const end = head->top;
    EXPECT_EQ(end - block, 24 + 104);
    EXPECT_EQ(end - head->limit, 100);
    EXPECT_EQ(head->ref_count, 1);

    char* big = pool.allocate(96);
    EXPECT_EQ(big, end - 96);
    EXPECT_EQ(pool_failure([&] { pool.allocate(16); }), out_of_space);
    EXPECT_EQ(head->top, end - 96);  // the failed request left the boundary alone

    // Arrays whose bytes are no multiple of 8 take the next multiple, so the 4 bytes left do not
    // hold one 4-byte word, and the pool keeps its alignment for what follows.
    stack_allocator<std::uint32_t> words(pool);
    EXPECT_EQ(pool_failure([&] { words.allocate(1); }), out_of_space);

    pool.deallocate(big, 96);
    EXPECT_EQ(head->top, end);
    std::uint32_t* small = words.allocate(3);
    EXPECT_EQ(reinterpret_cast<char*>(small), end - 16);
    words.deallocate(small, 3);
    EXPECT_EQ(head->top, end);
}

TEST(StackAllocator, ExactlyThePoolSizeFitsAndNotOneByteMore)
{
    stack_allocator<char> pool(64);
    char* const end = pool.pool()->top;
    EXPECT_EQ(pool_failure([&] { pool.allocate(65); }), out_of_space);
    char* all = pool.allocate(64);
    EXPECT_EQ(all, end - 64);
    EXPECT_EQ(pool_failure([&] { pool.allocate(1); }), out_of_space);
    pool.deallocate(all, 64);
    EXPECT_EQ(pool.pool()->top, end);
}

TEST(StackAllocator, HugeRequestsFailWithoutWrappingTheBoundary)
{
    stack_allocator<element> pool(1024);
    char* const end = pool.pool()->top;
    EXPECT_EQ(pool_failure([&] { pool.allocate(std::size_t(-1)); }), out_of_space);
    EXPECT_EQ(pool_failure([&] { pool.allocate(std::size_t(-1) / sizeof(element) + 1); }), out_of_space);
    EXPECT_EQ(pool.pool()->top, end);
}

TEST(StackAllocator, BlocksLieOneBelowTheOtherAndComeBackInReverse)
{
    stack_allocator<element> pool(1000);
    char* const end = pool.pool()->top;
    element* a = pool.allocate(1);
    element* b = pool.allocate(1);
    element* c = pool.allocate(1);
    EXPECT_EQ(reinterpret_cast<char*>(a), end - 16);
    EXPECT_EQ(b, a - 1);
    EXPECT_EQ(c, b - 1);
    pool.deallocate(c, 1);
    pool.deallocate(b, 1);
    pool.deallocate(a, 1);
    EXPECT_EQ(pool.pool()->top, end);

    pool.deallocate(nullptr, 5);
    EXPECT_EQ(pool.pool()->top, end);
}

TEST(StackAllocator, ReleasingAnOlderBlockFirstNeverExposesLiveMemory)
{
    stack_allocator<element> pool(1000);
    char* const end = pool.pool()->top;
    element* older = pool.allocate(2);
    element* newer = pool.allocate(3);
    pool.deallocate(older, 2);  // out of order: the boundary must stay below the newer block
    EXPECT_EQ(pool.pool()->top, reinterpret_cast<char*>(newer));
    element* next = pool.allocate(1);
    EXPECT_EQ(next, newer - 1);
    pool.deallocate(next, 1);
    pool.deallocate(newer, 3);
    EXPECT_EQ(pool.pool()->top, end - 2 * sizeof(element));
}

TEST(StackAllocator, CopiesShareThePoolAndTheLastOneFreesIt)
{
    stack_allocator<element> original(256);
    stack_allocator_head* head = original.pool();
    {
        stack_allocator<element> copy(original);
        stack_allocator<std::uint64_t> rebound(original);
        EXPECT_EQ(head->ref_count, 3);
        EXPECT_TRUE(copy == original);
        EXPECT_TRUE(rebound == original);

        std::uint64_t* word = rebound.allocate(2);
        EXPECT_EQ(reinterpret_cast<char*>(word), head->limit + 256 - 16);
        rebound.deallocate(word, 2);
    }
    EXPECT_EQ(head->ref_count, 1);

    // Assignment moves a share from one pool to the other.
    stack_allocator<element> other(64);
    stack_allocator_head* other_head = other.pool();
    {
        stack_allocator<element> holder(other);
        EXPECT_EQ(other_head->ref_count, 2);
        holder = original;
        EXPECT_EQ(other_head->ref_count, 1);
        EXPECT_EQ(head->ref_count, 2);
        holder = holder;
        EXPECT_EQ(head->ref_count, 2);
    }
    EXPECT_EQ(head->ref_count, 1);
    EXPECT_FALSE(other == original);
    // The last copies of both pools go at the end of the test; the sanitizer build would report
    // a leak or a double release.
}

TEST(StackAllocator, WithoutPoolEveryAllocationFails)
{
    stack_allocator<element> none(0);
    EXPECT_EQ(none.pool(), nullptr);
    EXPECT_EQ(pool_failure([&] { none.allocate(1); }), no_pool);
    stack_allocator<char> copy(none);
    EXPECT_EQ(pool_failure([&] { copy.allocate(0); }), no_pool);
    none.deallocate(nullptr, 1);

    stack_allocator_head::stack_bad_alloc e(no_pool);
    std::bad_alloc const& as_base = e;
    EXPECT_STREQ(as_base.what(), no_pool);
}

TEST(StackAllocator, UnreservablePoolReportsItsMessage)
{
    EXPECT_EQ(pool_failure([] { stack_allocator<char> pool(static_cast<unsigned long>(-1)); }),
              "stack_allocator: chould not allocate pool");
}

TEST(StackAllocator, ServesStandardContainers)
{
    stack_allocator<element> pool(8192);
    char* const end = pool.pool()->top;
    {
        std::vector<element, stack_allocator<element>> grown(pool);
        for (std::uint64_t i = 0; i < 100; ++i) {
            grown.push_back(element{i, nullptr});
        }
        for (std::uint64_t i = 0; i < 100; ++i) {
            ASSERT_EQ(grown[i].key, i);
        }
        std::list<long, stack_allocator<long>> nodes(pool);
        for (long i = 0; i < 20; ++i) {
            nodes.push_front(i);
        }
        EXPECT_EQ(nodes.front(), 19);
        EXPECT_EQ(nodes.size(), 20u);
    }
    // A growing vector gives its blocks back out of order; the pool keeps their space instead
    // of handing it out twice, so the boundary never rises above where it started.
    EXPECT_LE(pool.pool()->top, end);
    EXPECT_GE(pool.pool()->top, pool.pool()->limit);

    std::vector<element, stack_allocator<element>> reserved(pool);
    char* const before = pool.pool()->top;
    reserved.reserve(10);
    reserved.assign(10, element{7, nullptr});
    reserved.clear();
    reserved.shrink_to_fit();
    EXPECT_EQ(pool.pool()->top, before);
}

}  // namespace

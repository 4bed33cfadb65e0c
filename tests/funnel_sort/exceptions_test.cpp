// funnel::sort and funnel::stable_sort when the comparator throws, a move throws or memory runs
// out at any point: the exception reaches the caller, every item of the range is a live object,
// none leaked and none was destroyed twice. Items count themselves; this program's operator new
// can be told to fail on its k-th call and counts the blocks still held.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <stdexcept>
#include <vector>

#include "funnel_sort/sort.hpp"
#include "items/element.hpp"

namespace {

struct allocation_failure {
    bool armed = false;
    std::int64_t calls = 0;    // operator new calls while armed
    std::int64_t fail_at = 0;  // the call that fails; 0: none
    std::int64_t live_blocks = 0;
    bool failed_quietly = false;  // the failing call was a nothrow one, which returned null
};

allocation_failure allocations;

// Whether this call is the one that fails.
bool failing_call() { return allocations.armed && ++allocations.calls == allocations.fail_at; }

void* take_block(std::size_t bytes)
{
    void* const p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p != nullptr) ++allocations.live_blocks;
    return p;
}

}  // namespace

void* operator new(std::size_t bytes)
{
    void* const p = failing_call() ? nullptr : take_block(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

// std::stable_sort asks for its buffer this way and does without it when it gets none.
void* operator new(std::size_t bytes, std::nothrow_t const&) noexcept
{
    if (failing_call()) {
        allocations.failed_quietly = true;
        return nullptr;
    }
    return take_block(bytes);
}

void operator delete(void* p) noexcept
{
    if (p != nullptr) {
        --allocations.live_blocks;
        std::free(p);
    }
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

struct failure_plan {
    std::int64_t compares_until_throw = -1;  // -1: never
    std::int64_t moves_until_throw = -1;
    std::int64_t compares = 0;
    std::int64_t moves = 0;
};

failure_plan plan;

struct thrown_on_purpose : std::runtime_error {
    thrown_on_purpose() : std::runtime_error("thrown on purpose") {}
};

void count_down(std::int64_t& until_throw)
{
    if (until_throw >= 0 && until_throw-- == 0) {
        throw thrown_on_purpose();
    }
}

// An item that knows whether it is alive: every constructor marks it, the destructor checks and
// clears the mark, and the live ones are counted.
struct counted {
    static constexpr std::uint32_t alive = 0x5ca1ab1e;
    static inline std::int64_t live = 0;
    static inline std::int64_t bad_destructions = 0;

    int key;
    std::uint32_t mark = alive;

    explicit counted(int k) : key(k) { ++live; }
    counted(counted&& other) : key(other.key)
    {
        ++plan.moves;
        count_down(plan.moves_until_throw);
        ++live;
    }
    counted& operator=(counted&& other)
    {
        ++plan.moves;
        count_down(plan.moves_until_throw);
        key = other.key;
        return *this;
    }
    ~counted()
    {
        if (mark != alive) ++bad_destructions;
        mark = 0;
        --live;
    }
};

bool less_counted(counted const& a, counted const& b)
{
    ++plan.compares;
    count_down(plan.compares_until_throw);
    return a.key < b.key;
}

bool less_element(element const& a, element const& b)
{
    ++plan.compares;
    count_down(plan.compares_until_throw);
    return a.key < b.key;
}

// 3000 items sort through two merge levels at the default tuning, 400 through five at alpha 1,
// d 2.
struct setting {
    int n;
    funnel::tuning t;
};
setting const settings[] = {{3000, funnel::library_tuning}, {400, funnel::tuning{1, 2.0f}}};

std::vector<int> keys(int n)
{
    std::mt19937 random(7);
    std::vector<int> k;
    for (int i = 0; i < n; ++i) k.push_back(static_cast<int>(random() % 100));
    return k;
}

struct outcome {
    bool threw = false;
    std::int64_t compares = 0;
    std::int64_t moves = 0;
    std::int64_t allocation_calls = 0;
};

// Sorts counted items with a fresh plan that set_plan adjusts. Afterwards the range's items must
// be the only live ones, all alive, and no block may stay allocated.
template <class Plan>
outcome sort_counted(setting s, bool stable, Plan set_plan)
{
    std::int64_t const blocks_before = allocations.live_blocks;
    outcome result;
    {
        std::vector<counted> items;
        items.reserve(static_cast<std::size_t>(s.n));
        for (int k : keys(s.n)) items.emplace_back(k);
        plan = failure_plan{};
        set_plan();
        try {
            if (stable) {
                funnel::stable_sort(items.begin(), items.end(), less_counted, s.t);
            } else {
                funnel::sort(items.begin(), items.end(), less_counted, s.t);
            }
        } catch (thrown_on_purpose const&) {
            result.threw = true;
        } catch (std::bad_alloc const&) {
            result.threw = true;
        }
        allocations.armed = false;
        if (!result.threw) {
            EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](counted const& a, counted const& b) {
                return a.key < b.key;
            }));
        }
        result.compares = plan.compares;
        result.moves = plan.moves;
        result.allocation_calls = allocations.calls;
        plan = failure_plan{};
        EXPECT_EQ(counted::live, s.n);
        for (counted const& c : items) EXPECT_EQ(c.mark, counted::alive);
    }
    EXPECT_EQ(counted::live, 0);
    EXPECT_EQ(counted::bad_destructions, 0);
    EXPECT_EQ(allocations.live_blocks, blocks_before);
    return result;
}

// Throw points spread over a clean run's count of calls, the first and last included.
std::vector<std::int64_t> throw_points(std::int64_t calls)
{
    std::vector<std::int64_t> points;
    for (std::int64_t k = 0; k < calls; k += calls / 40 + 1) points.push_back(k);
    points.push_back(calls - 1);
    return points;
}

TEST(FunnelSortFailures, ComparatorOrMoveThrowingAtAnyCallLeavesEveryItemAlive)
{
    for (setting s : settings) {
        for (bool stable : {false, true}) {
            outcome const clean = sort_counted(s, stable, [] {});
            ASSERT_FALSE(clean.threw);
            ASSERT_GT(clean.compares, s.n);
            for (std::int64_t k : throw_points(clean.compares)) {
                EXPECT_TRUE(sort_counted(s, stable, [k] { plan.compares_until_throw = k; }).threw) << "compare " << k;
            }
            for (std::int64_t k : throw_points(clean.moves)) {
                EXPECT_TRUE(sort_counted(s, stable, [k] { plan.moves_until_throw = k; }).threw) << "move " << k;
            }
        }
    }
}

TEST(FunnelSortFailures, RunningOutOfMemoryAtAnyAllocationLeavesEveryItemAlive)
{
    auto const fail_at = [](std::int64_t k) {
        allocations = allocation_failure{true, 0, k, allocations.live_blocks, false};
    };
    for (setting s : settings) {
        for (bool stable : {false, true}) {
            outcome const clean = sort_counted(s, stable, [&] { fail_at(0); });
            ASSERT_FALSE(clean.threw);
            ASSERT_GT(clean.allocation_calls, 3);
            for (std::int64_t k = 1; k <= clean.allocation_calls; ++k) {
                // A failed nothrow request (std::stable_sort's buffer in a base case) is no failure.
                bool const threw = sort_counted(s, stable, [&] { fail_at(k); }).threw;
                EXPECT_EQ(threw, !allocations.failed_quietly) << "allocation " << k;
            }
        }
    }
}

// Items that the drivers sort directly (element with a comparator of its own): a throw anywhere
// frees every block.
TEST(FunnelSortFailures, DirectlySortedItemsFreeEveryBlockOnAThrow)
{
    std::vector<element> input(3000);
    std::mt19937_64 random(3);
    for (element& e : input) e.key = random() % 500;
    std::vector<element> items = input;
    plan = failure_plan{};
    funnel::stable_sort(items.begin(), items.end(), less_element);
    std::int64_t const compares = plan.compares;
    for (std::int64_t k : throw_points(compares)) {
        std::int64_t const blocks_before = allocations.live_blocks;
        items = input;
        plan = failure_plan{};
        plan.compares_until_throw = k;
        EXPECT_THROW(funnel::sort(items.begin(), items.end(), less_element), thrown_on_purpose) << k;
        EXPECT_EQ(allocations.live_blocks, blocks_before) << k;
    }
    plan = failure_plan{};
}

}  // namespace

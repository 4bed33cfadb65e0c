#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "auto_array/prefetch.hpp"

namespace {

using auto_array::PrefetchRing;
using namespace std::chrono_literals;

// Waits, within a bound, until the condition holds.
template <typename Condition>
bool eventually(Condition condition)
{
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(1ms);
    return condition();
}

TEST(PrefetchRing, AFullRingBlocksTheProducerAndAddressesComeOutInOrder)
{
    constexpr int addresses = 40;
    std::vector<char> targets(addresses);
    PrefetchRing ring;
    std::atomic<int> put{0};
    std::thread producer([&] {
        for (char& target : targets) {
            ring.Put(&target);
            ++put;
        }
    });

    ASSERT_TRUE(eventually([&] { return put == PrefetchRing::slots; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(put, PrefetchRing::slots);  // the 17th waits for a free slot
    EXPECT_EQ(ring.Take(), &targets[0]);
    EXPECT_TRUE(eventually([&] { return put == PrefetchRing::slots + 1; }));

    for (int i = 1; i < addresses; ++i) EXPECT_EQ(ring.Take(), &targets[i]);
    producer.join();
}

// Pages of a private anonymous mapping are only present once touched.
class untouched_pages {
public:
    static constexpr std::size_t count = 64;

    untouched_pages()
        : page(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
          base(static_cast<char*>(mmap(nullptr, count * page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)))
    {
        madvise(base, count * page, MADV_NOHUGEPAGE);
    }
    ~untouched_pages() { munmap(base, count * page); }

    char const* at(std::size_t i) const { return base + i * page; }

    std::vector<bool> present() const
    {
        std::vector<unsigned char> flags(count);
        mincore(base, count * page, flags.data());
        std::vector<bool> result;
        for (unsigned char f : flags) result.push_back((f & 1) != 0);
        return result;
    }

private:
    std::size_t page;
    char* base;
};

TEST(PrefetchThread, TouchesEveryPageItIsGiven)
{
    untouched_pages pages;
    ASSERT_EQ(pages.present(), std::vector<bool>(untouched_pages::count, false));
    {
        auto_array::__PrefetchThread prefetch;
        for (std::size_t i = 0; i < untouched_pages::count; i += 2) prefetch.Fetch(pages.at(i));
        prefetch.Fetch(nullptr);
        prefetch.Fetch(pages.at(1));  // after the stop token: ignored, nothing is left to touch it
    }
    std::vector<bool> const present = pages.present();
    for (std::size_t i = 0; i < untouched_pages::count; ++i) EXPECT_EQ(present[i], i % 2 == 0) << "page " << i;
}

TEST(PrefetchThread, EndsWhetherOrNotItWasStopped)
{
    { auto_array::__PrefetchThread stopped_at_once; stopped_at_once.Fetch(nullptr); }
    { auto_array::__PrefetchThread never_stopped; }
    char byte = 0;
    auto_array::__PrefetchThread busy;
    for (int i = 0; i < 100; ++i) busy.Fetch(&byte);
}

}  // namespace

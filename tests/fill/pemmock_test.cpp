#include <cstdint>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "tests/support/process.hpp"

namespace {

using test_support::run_program;

std::int64_t wrap32(std::int64_t x) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(x)); }

// The filler's result, computed here the plain way: the same unseeded rand() sequence, the
// recurrence written out word by word, the last word minus one random word.
int expected_status(std::uint32_t size_in_mb)
{
    std::srand(1);  // the sequence of a process that never seeds
    std::uint32_t const bytes = size_in_mb << 20;
    std::uint32_t const words = bytes / 4;
    std::vector<std::int64_t> buf(words);
    buf[0] = std::rand();
    buf[1] = std::rand();
    for (std::uint32_t i = 2; i < words; ++i) {
        buf[i] = wrap32(2 * buf[i - 2] - buf[i - 1]);
    }
    EXPECT_EQ(buf[2], wrap32(2 * buf[0] - buf[1]));
    EXPECT_EQ(buf[3], wrap32(3 * buf[1] - 2 * buf[0]));
    std::uint32_t const j = (static_cast<std::uint32_t>(std::rand()) % bytes) / 4;
    return static_cast<int>(static_cast<std::uint32_t>(buf[words - 1] - buf[j]) & 0xffu);
}

TEST(Pemmock, ExitsWithTheValueItsDataDetermines)
{
    for (std::uint32_t size : {1u, 3u}) {
        auto const first = run_program(PEMMOCK_PATH, {std::to_string(size)});
        EXPECT_EQ(first.status, expected_status(size)) << size << " MB";
        EXPECT_EQ(first.err, "");
        auto const second = run_program(PEMMOCK_PATH, {std::to_string(size)});
        EXPECT_EQ(second.status, first.status);
    }
}

TEST(Pemmock, HoldKeepsTheMemoryUntilStoppedThenSucceeds)
{
    for (int const signal : {SIGINT, SIGTERM}) {
        test_support::child_process holder(PEMMOCK_PATH, {"--hold", "2"});
        std::string const holding = "pemmock: holding 2 MB until SIGINT or SIGTERM\n";
        for (int wait = 0; wait < 1000 && holder.err_so_far() != holding; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(holder.running()) << "a hold ends only when it is stopped";
        kill(holder.id(), signal);
        auto const result = holder.finish();
        EXPECT_EQ(result.status, 0) << signal;
        EXPECT_EQ(result.err, holding) << signal;
    }
}

TEST(Pemmock, RefusesWhatItCannotFill)
{
    std::string const usage = "pemmock RAM_size_in_MB\n";
    for (auto const& args : std::vector<std::vector<std::string>>{{}, {"1", "2"}, {"--hold", "1", "2"}}) {
        auto const result = run_program(PEMMOCK_PATH, args);
        EXPECT_EQ(result.status, 1) << args.size();
        EXPECT_EQ(result.err, usage);
        EXPECT_EQ(result.out, "");
    }
    // Sizes read the same way as datlow's: no sign, no suffix, nothing that wraps to a small count.
    for (char const* size : {"0", "-5", "4096", "4294967297", "lots", "1e3", "10abc", "+5", "01"}) {
        auto const result = run_program(PEMMOCK_PATH, {size});
        EXPECT_EQ(result.status, 1) << size;
        EXPECT_EQ(result.err, usage + "RAM_size_in_MB must be a whole number from 1 to 4095 MB\n") << size;
        EXPECT_EQ(run_program(PEMMOCK_PATH, {"--hold", size}).status, 1) << size;
    }
}

TEST(Pemmock, AnswersHelpAndVersionOnStandardOutput)
{
    for (char const* help : {"-h", "--help"}) {
        auto const result = run_program(PEMMOCK_PATH, {help});
        EXPECT_EQ(result.status, 0) << help;
        EXPECT_EQ(result.out, "pemmock RAM_size_in_MB\n") << help;
    }
    auto const version = run_program(PEMMOCK_PATH, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("pemmock 1.0.0", 0), 0u) << version.out;
}

#ifndef KIT_SANITIZED_BUILD  // the sanitizers need more address space than the limit leaves
// Memory that cannot be had is a message and status 1, not an uncaught exception.
TEST(Pemmock, SaysWhenTheMemoryIsNotThere)
{
    constexpr rlim_t address_space = 100ul << 20;
    auto const result = test_support::run_limited(PEMMOCK_PATH, RLIMIT_AS, address_space, {"512"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "pemmock: not enough memory for 512 MB\n");
}
#endif

}  // namespace

// corvane below memory, end to end: mapped storage, a memory limit in a cgroup the run makes, the
// scratch files and the cgroup after the run however it ends, and the refusals.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bench/read_ahead.hpp"

#include "tests/support/process.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using test_support::run_program;
using strings = std::vector<std::string>;

bool empty_folder(std::string const& path) { return std::filesystem::is_empty(path); }

// The header and the rows of a CSV report, without the manifest's "# " lines before them.
strings csv_rows(std::string const& report)
{
    strings rows;
    for (std::string const& line : test_support::lines_of(report)) {
        if (line.rfind("# ", 0) != 0) rows.push_back(line);
    }
    return rows;
}

// Whether corvane could not make its cgroup (not root, no memory controller): then the runs under a
// limit cannot be tested here.
bool no_cgroup(test_support::process_result const& result)
{
    return result.status == 2 && result.err.find("corvane: --memory-limit: ") == 0;
}

// Whether the memory cgroup corvane (process pid) made is still there, below this process's own
// (v1) or in the unified hierarchy (v2).
bool cgroup_left(pid_t pid)
{
    std::ifstream in("/proc/self/cgroup");
    for (std::string line; std::getline(in, line);) {
        std::size_t const first = line.find(':');
        std::size_t const second = line.find(':', first + 1);
        std::string const list = line.substr(first + 1, second - first - 1);
        std::string const base = list == "memory" ? "/sys/fs/cgroup/memory" : list.empty() ? "/sys/fs/cgroup" : "";
        if (!base.empty() && std::filesystem::exists(base + line.substr(second + 1) + "/corvane-" + std::to_string(pid))) {
            return true;
        }
    }
    return false;
}

TEST(BelowMemory, MappedRunsOfEveryVariantAreCheckedAndLeaveNoFile)
{
    test_support::temp_dir dir;
    std::string const scratch = dir.file("");
    auto const result = run_program(CORVANE_PATH, {"--counters=none", "--format=csv", "--storage=mapped",
                                                   "--scratch-dir=" + scratch, "--sizes=30000", "--variants=all",
                                                   "--type=element", "--seed=3"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto const rows = csv_rows(result.out);
    ASSERT_GE(rows.size(), 9u) << result.out;  // the header and a row for each of the eight or more sorts
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_NE(rows[i].find(",ok,,element,1,"), std::string::npos) << rows[i];
    }
    EXPECT_TRUE(empty_folder(scratch));
}

TEST(BelowMemory, ALimitKillsWhatDoesNotFitAndSparesTheRest)
{
#ifdef KIT_SANITIZED_BUILD
    GTEST_SKIP() << "AddressSanitizer's own memory does not fit under a limit of a few MiB; the release build runs this test";
#endif
    test_support::temp_dir dir;
    std::string const scratch = dir.file("");
    // Mapped, the funnel's 8 MB of input and output sort under 8M; 16 MB in anonymous memory cannot.
    auto const mapped = run_program(CORVANE_PATH, {"--counters=none", "--format=csv", "--storage=mapped",
                                                   "--scratch-dir=" + scratch, "--memory-limit=8M", "--sizes=250000",
                                                   "--variants=cached-stack,pdqsort-branchless", "--seed=3"});
    if (no_cgroup(mapped)) GTEST_SKIP() << "no memory cgroup can be made here: " << mapped.err;
    ASSERT_EQ(mapped.status, 0) << mapped.err;
    auto const rows = csv_rows(mapped.out);
    ASSERT_EQ(rows.size(), 3u) << mapped.out;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_NE(rows[i].find(",ok,,element,1,"), std::string::npos) << rows[i];
    }
    test_support::child_process limited(CORVANE_PATH, {"--counters=none", "--format=csv", "--memory-limit=8M",
                                                       "--sizes=1000000", "--variants=std-sort", "--seed=3"});
    pid_t const limited_pid = limited.id();
    auto const in_memory = limited.finish();
    EXPECT_NE(in_memory.out.find(",killed by the memory limit (8M),element,,,,,,,,,,,,\n"), std::string::npos)
        << in_memory.out << in_memory.err;
    EXPECT_TRUE(empty_folder(scratch));
    EXPECT_FALSE(cgroup_left(limited_pid));
}

// Stopped by a signal while a run goes on: no scratch file and no cgroup stay behind.
TEST(BelowMemory, AStoppedExperimentLeavesNothingBehind)
{
    for (int const signal : {SIGINT, SIGKILL}) {
        test_support::temp_dir dir;
        std::string const scratch = dir.file("");
        strings args = {"--counters=none", "--format=csv", "--storage=mapped", "--scratch-dir=" + scratch,
                        "--sizes=1000000", "--repeat=100", "--variants=pdqsort-branchless"};
        if (signal == SIGINT) args.push_back("--memory-limit=64M");
        test_support::child_process corvane(CORVANE_PATH, args);
        pid_t const pid = corvane.id();
        // The line before the first run, then a moment for the run to make its files.
        for (int wait = 0; wait < 500 && corvane.err_so_far().find("corvane: counters") == std::string::npos; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        kill(corvane.id(), signal);
        auto const result = corvane.finish();
        if (no_cgroup(result)) GTEST_SKIP() << "no memory cgroup can be made here: " << result.err;
        EXPECT_NE(result.err.find("corvane: counters"), std::string::npos) << result.err;
        EXPECT_TRUE(empty_folder(scratch)) << signal;
        if (signal == SIGINT) {
            EXPECT_FALSE(cgroup_left(pid));
        }
    }
}

TEST(BelowMemory, RefusesWhatCannotHoldTheRuns)
{
    test_support::temp_dir dir;
    auto refused = [](strings args, std::string const& message) {
        auto const result = run_program(CORVANE_PATH, args);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_EQ(result.err.find("corvane: " + message), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    };
    refused({"--storage=mapped", "--scratch-dir=" + dir.file("missing")},
            "--scratch-dir: '" + dir.file("missing") + "' does not exist");
    refused({"--storage=mapped", "--scratch-dir=/dev/shm"}, "--scratch-dir: '/dev/shm' lies in memory (tmpfs)");
    refused({"--storage=mapped", "--scratch-dir=" + dir.file(""), "--sizes=1000000000000"},
            "--scratch-dir: '" + dir.file("") + "' has ");
    refused({"--scratch-dir=" + dir.file("")}, "--scratch-dir needs --storage=mapped");
    refused({"--storage=disk"}, "--storage: 'disk' is not memory or mapped");
    refused({"--memory-limit=12X"}, "--memory-limit: '12X");
    refused({"--memory-limit=256M", "--counters=simulated"}, "--memory-limit cannot confine the simulated runs");
}

// A leaf's run asks for the block after the one it has just entered, cut at the run's end, and
// for nothing while it stays in one block or when no block follows.
TEST(BelowMemory, ARunAsksForTheBlockAfterTheOneItEnters)
{
    std::uintptr_t const b = read_ahead::block_bytes;
    auto const asked = [](std::uintptr_t before, std::uintptr_t now, std::uintptr_t end) {
        read_ahead::span const s = read_ahead::block_to_ask(before, now, end);
        return std::make_pair(s.start, s.bytes);
    };
    EXPECT_EQ(asked(b + 16, 2 * b - 16, 10 * b), std::make_pair(std::uintptr_t{0}, std::uintptr_t{0}));
    EXPECT_EQ(asked(b + 16, 2 * b, 10 * b), std::make_pair(3 * b, b));
    EXPECT_EQ(asked(b + 16, 4 * b + 32, 10 * b), std::make_pair(5 * b, b));
    EXPECT_EQ(asked(b + 16, 2 * b + 32, 3 * b + 100), std::make_pair(3 * b, std::uintptr_t{100}));
    EXPECT_EQ(asked(b + 16, 2 * b + 32, 3 * b), std::make_pair(std::uintptr_t{0}, std::uintptr_t{0}));
}

}  // namespace

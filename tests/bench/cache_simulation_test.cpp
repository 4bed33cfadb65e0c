#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bench/cache_simulation.hpp"
#include "bench/experiment_options.hpp"
#include "bench/miss_bound.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

// The dump callgrind writes at a client request, shortened to the lines that matter.
std::string const dump =
    "version: 1\n"
    "creator: callgrind-3.19.0\n"
    "desc: D1 cache: 32768 B, 64 B, 8-way associative\n"
    "desc: Trigger: Client Request: sort\n"
    "events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw\n"
    "summary: 0\n"
    "fn=(1) main\n"
    "16 3 1\n"
    "totals: 158751216 30371216 12087598 69 1554187 2541 69 500003 88\n";

TEST(CacheSimulation, ReadsTheDataMissesOfBothLevelsFromADump)
{
    std::int64_t l1 = -1;
    std::int64_t l2 = -1;
    ASSERT_TRUE(read_callgrind_dump(dump, l1, l2));
    EXPECT_EQ(l1, 1554187 + 2541);
    EXPECT_EQ(l2, 500003 + 88);
    // Without the cache simulation, or without totals, there is nothing to read.
    EXPECT_FALSE(read_callgrind_dump("events: Ir\ntotals: 5\n", l1, l2));
    EXPECT_FALSE(read_callgrind_dump("events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw\n", l1, l2));
}

// (N/B) * max(1, log_{M/B}(N/B)): one pass while the lines fit the cache, log passes beyond.
TEST(CacheSimulation, TheMissBoundIsOnePassUntilTheInputOutgrowsTheCacheThenLogarithmic)
{
    EXPECT_EQ(sorting_miss_bound(16000, 2097152, 64), 250.0);  // 250 lines in a cache of 32768
    EXPECT_EQ(sorting_miss_bound(40, 4096, 64), 0.625);        // less than a line: still one pass
    // 64 lines of cache: 64^2 and 64^3 lines take 2 and 3 passes.
    EXPECT_DOUBLE_EQ(*sorting_miss_bound(64 * 64 * 64, 4096, 64), 2.0 * 64 * 64);
    EXPECT_DOUBLE_EQ(*sorting_miss_bound(64 * 64 * 64 * 64, 4096, 64), 3.0 * 64 * 64 * 64);
    // A larger cache never raises the bound; a cache of one line has none.
    double last = *sorting_miss_bound(std::uint64_t{1} << 30, 1024, 64);
    for (std::uint64_t cache = 2048; cache <= (std::uint64_t{1} << 31); cache *= 2) {
        double const bound = *sorting_miss_bound(std::uint64_t{1} << 30, cache, 64);
        EXPECT_LE(bound, last) << cache;
        EXPECT_GE(bound, double{1 << 24}) << cache;
        last = bound;
    }
    EXPECT_FALSE(sorting_miss_bound(1 << 20, 64, 64).has_value());
}

TEST(CacheSimulation, FindsAProgramInTheSearchPath)
{
    test_support::temp_dir dir;
    test_support::write_file(dir.file("tool"), "#!/bin/sh\n");
    EXPECT_EQ(find_program("tool", "/nonexistent:" + dir.file("")), "");  // not executable
    EXPECT_EQ(find_program("sh", "/nonexistent::/bin"), "/bin/sh");
    EXPECT_EQ(find_program("no-such-program", "/bin:/usr/bin"), "");
}

// valgrind expands % in its file options: a TMPDIR with a % must still name the same files, and a
// TMPDIR that cannot hold the run's folder is named in the run's error.
TEST(CacheSimulation, TheTemporaryFolderIsTakenLiterallyAndNamedWhenMissing)
{
    EXPECT_EQ(valgrind_file_name("/tmp/a%p%%b/dump"), "/tmp/a%%p%%%%b/dump");
    EXPECT_EQ(valgrind_file_name("/tmp/plain"), "/tmp/plain");
    char const* const old = std::getenv("TMPDIR");
    std::string const kept = old != nullptr ? old : "";
    setenv("TMPDIR", "/nonexistent-corvane-folder", 1);
    simulated_counts const counts = simulate_run(simulation_setup{"/bin/false", {32768, 8, 64}, {65536, 4, 64}}, {});
    if (old != nullptr) setenv("TMPDIR", kept.c_str(), 1); else unsetenv("TMPDIR");
    EXPECT_FALSE(counts.counted);
    EXPECT_NE(counts.error.find("cannot make a folder in '/nonexistent-corvane-folder': No such file or directory"),
              std::string::npos)
        << counts.error;
}

// The child reads back, through corvane's own option parser, the run the parent asked for.
TEST(CacheSimulation, TheChildGetsTheSameRunAndInput)
{
    variant const& v = *find_variant("cached-heap");
    experiment_options const child = parse_options(
        simulated_run_arguments(500, v, item_type::record, 42, input_source::pattern("zipf")),
        memory_limit{std::uint64_t{1} << 30, "physical memory"});
    EXPECT_TRUE(child.simulated_child);
    EXPECT_EQ(child.child_seed, 42u);
    EXPECT_EQ(child.sizes, std::vector<std::uint64_t>{500});
    ASSERT_EQ(child.variants.size(), 1u);
    EXPECT_EQ(child.variants[0], &v);
    EXPECT_EQ(child.type, item_type::record);
    EXPECT_EQ(child.input, "zipf");
}

// A child that fails says how it ended: its exit status, or the signal that killed it.
TEST(CacheSimulation, AFailedChildIsReportedByItsStatusOrItsSignal)
{
    test_support::temp_dir dir;
    simulation_setup setup;  // the geometry does not matter to a child that ignores its options
    setup.valgrind = dir.file("child");
    test_support::write_file(setup.valgrind, "#!/bin/sh\necho gone >&2\nkill -9 $$\n");
    ASSERT_EQ(chmod(setup.valgrind.c_str(), 0700), 0);
    simulated_counts const killed = simulate_run(setup, {});
    EXPECT_FALSE(killed.counted);
    EXPECT_EQ(killed.error, "the simulated run failed (killed by signal 9 (Killed)): gone");

    test_support::write_file(setup.valgrind, "#!/bin/sh\nexit 3\n");
    EXPECT_EQ(simulate_run(setup, {}).error, "the simulated run failed (exit status 3)");
}

}  // namespace

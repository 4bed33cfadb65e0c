// compare_sorts as a user calls it, on the command-line values of its single-sort mode.

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/process.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

test_support::process_result compare_sorts(std::vector<std::string> const& args)
{
    return test_support::run_program(COMPARE_SORTS_PATH, args);
}

// Negative, malformed, overflowing and larger-than-memory sizes are refused before anything is
// allocated, with the value named; so are unknown input names.
TEST(CompareSorts, HelpListsItsOwnFlagsBeforeGoogleBenchmarks)
{
    for (char const* help : {"-h", "--help"}) {
        auto const result = compare_sorts({"--quick", help});
        EXPECT_EQ(result.status, 0) << help;
        std::size_t const own = result.out.find("--quick");
        EXPECT_LT(own, result.out.find("--benchmark_filter")) << result.out;
    }
    auto const version = compare_sorts({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("compare_sorts 1.0.0", 0), 0u) << version.out;
}

TEST(CompareSorts, RefusesBadValues)
{
    for (std::string const size : {"-1", "abc", "", "0", "10abc", "1e3", "+5", " 5", "18446744073709551616",
                                   "1000000000000000000"}) {
        auto const result = compare_sorts({"--once=std::sort", "--size=" + size});
        EXPECT_EQ(result.status, 2) << size;
        EXPECT_EQ(result.out, "") << size;
        EXPECT_NE(result.err.find("--size takes a number of elements from 1 to"), std::string::npos) << size;
        EXPECT_NE(result.err.find(": " + size + "\n"), std::string::npos) << result.err;
    }
    for (std::string const input : {"zipf,bogus", "sorted,", "All"}) {
        auto const result = compare_sorts({"--once=std::sort", "--input=" + input});
        EXPECT_EQ(result.status, 2) << input;
        EXPECT_EQ(result.out, "") << input;
        EXPECT_NE(result.err.find("--input: unknown input"), std::string::npos) << result.err;
    }
    // A flag neither it nor Google Benchmark knows: its usage on standard error.
    auto const unknown = compare_sorts({"--bogus"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("usage: compare_sorts [FLAG...]"), std::string::npos) << unknown.err;
}

// --once knows the four sorts by corvane's variant names as well as by the names of the table.
TEST(CompareSorts, OnceTakesVariantAndDisplayNames)
{
    std::pair<char const*, char const*> const names[] = {
        {"cached-stack", "Cached stack"},       {"cached-heap", "Cached heap"},
        {"uncached-stack", "Not cached stack"}, {"uncached-heap", "Not cached heap"},
        {"Cached stack", "Cached stack"},       {"pdqsort_branchless", "pdqsort_branchless"},
        {"Highway vqsort", "Highway vqsort"},   {"vqsort", "Highway vqsort"},
        {"std-stable-sort", "std::stable_sort"},
    };
    for (auto const& [given, shown] : names) {
        auto const result = compare_sorts({std::string("--once=") + given, "--size=5000"});
        EXPECT_EQ(result.status, 0) << given << ": " << result.err;
        EXPECT_EQ(result.out, std::string(shown) + ", n = 5000: sorted\n") << given;
    }
    auto const unknown = compare_sorts({"--once=cached", "--size=5000"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("unknown algorithm: cached;"), std::string::npos) << unknown.err;
}

// --size without --once times every sort at that one size, on every input asked for.
TEST(CompareSorts, SizeAloneSetsTheTablesOnlySize)
{
    auto const listed = compare_sorts({"--size=4000000", "--input=sorted,zipf", "--benchmark_list_tests=true"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("Cached stack/zipf/4000000"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("std::sort/sorted/4000000"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("/15360000"), std::string::npos) << listed.out;
}

// The item types are corvane's; a sort that does not handle the type is refused before anything runs.
TEST(CompareSorts, TypeIsCheckedAgainstTheRegistry)
{
    EXPECT_EQ(compare_sorts({"--once=std-sort", "--size=100", "--type=element"}).out, "std::sort, n = 100: sorted\n");
    EXPECT_EQ(compare_sorts({"--once=cached-stack", "--size=5000", "--type=int", "--input=zipf"}).out,
              "Cached stack, n = 5000: sorted\n");
    EXPECT_EQ(compare_sorts({"--once=uncached-heap", "--size=5000", "--type=record", "--input=killer"}).out,
              "Not cached heap, n = 5000: sorted\n");
    auto const unsorted = compare_sorts({"--once=vqsort", "--type=record"});
    EXPECT_EQ(unsorted.status, 2);
    EXPECT_EQ(unsorted.out, "");
    EXPECT_EQ(unsorted.err, "--type=record: vqsort does not sort record items\n");
    auto const unknown = compare_sorts({"--type=bytes"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "--type: 'bytes' is not element, int or record\n");
}

// Google Benchmark's output formats: json and csv are the library's own, the ratio table with its
// intervals comes with the console's output only, and --benchmark_out writes a file beside it.
TEST(CompareSorts, TheRatioTableBelongsToTheConsoleFormat)
{
    std::vector<std::string> const quick = {"--size=400", "--benchmark_filter=^std::sort/", "--benchmark_min_time=0.001",
                                            "--benchmark_repetitions=2"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), quick.begin(), quick.end());
        return compare_sorts(more);
    };
    auto const json = with({"--benchmark_format=json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\n", 0), 0u) << json.out;
    EXPECT_NE(json.out.find("\"benchmarks\": ["), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("Median"), std::string::npos) << json.out;
    EXPECT_EQ(with({"--benchmark_format=csv"}).out.rfind("name,iterations,", 0), 0u);

    test_support::temp_dir dir;
    std::string const file = dir.file("out.json");
    auto const console = with({"--benchmark_out=" + file});
    EXPECT_EQ(console.status, 0) << console.err;
    EXPECT_NE(console.out.find("Median wall-clock time per element"), std::string::npos) << console.out;
    EXPECT_NE(console.out.find(" ns/element  ["), std::string::npos) << console.out;
    std::ifstream written(file);
    std::string const first_line((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(first_line.rfind("{\n", 0), 0u) << first_line;
}

}  // namespace

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/cache_simulation.hpp"
#include "measure/sys_names.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/process.hpp"

namespace {

constexpr std::size_t run_count = 24;

// The real program, as it runs on this machine. Where the counter library starts, the document
// is complete: its runs hold measurements, or an error where counting is impossible (a machine
// without hardware counters). Where it does not start, nothing at all is written.
TEST(Corvane, WritesACompleteReportOrNothing)
{
#ifdef KIT_SANITIZED_BUILD
    GTEST_SKIP() << "with hardware counters the full benchmark takes too long under the sanitizers";
#endif
    auto const result = test_support::run_program(CORVANE_PATH, {});
    auto const lines = test_support::lines_of(result.out);
    if (result.status != 0) {
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("counter library could not be initialised"), std::string::npos) << result.err;
        return;
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");

    std::string const head_pattern = std::string("<benchmark date=\"[A-Z][a-z]{2} [ 123][0-9] [0-9]{4} ") +
                                     "[0-9]{2}:[0-9]{2}:[0-9]{2}\" os=\"([^\"]*)\" version=\"([^\"]*)\" host=\"(.*)\">";
    std::smatch head;
    ASSERT_TRUE(std::regex_match(lines[1], head, std::regex(head_pattern))) << lines[1];
    EXPECT_EQ(head[1], sys_names::os());
    EXPECT_EQ(head[2], sys_names::release());
    EXPECT_EQ(head[3], sys_names::host());
    EXPECT_EQ(lines.back(), "</benchmark>");

    std::regex const result_line("\t\t(<time unit=\"s\">[0-9.e+-]+</time><l2misses>-?[0-9]+</l2misses><tlbmisses>-?"
                                 "[0-9]+</tlbmisses>|<error>Caught std::exception: [^<]*</error>)");
    std::size_t runs = 0;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("\t<run ", 0) == 0) {
            ++runs;
        } else if (lines[i].rfind("\t\t<size>", 0) != 0 && lines[i].rfind("\t\t<algorithm>", 0) != 0 &&
                   lines[i] != "\t</run>") {
            EXPECT_TRUE(std::regex_match(lines[i], result_line)) << lines[i];
        }
    }
    EXPECT_EQ(runs, run_count);
    EXPECT_EQ(lines.size(), 3 + run_count * 5);
}

// Whatever the machine offers, an experiment with counters as available has a time for every
// run and a verdict of the stronger check; a counter it cannot count is empty, with the reason.
TEST(CorvaneExperiment, CountersAsAvailableGiveATimeForEveryRun)
{
    auto const result = test_support::run_program(
        CORVANE_PATH, {"--counters=auto", "--format=csv", "--sizes=3000", "--repeat=2", "--input=sorted-swaps"});
    if (result.status == 1 && result.out.empty()) GTEST_SKIP() << "the counter library does not start here";
    ASSERT_EQ(result.status, 0) << result.err;
    auto const lines = test_support::lines_of(result.out);
    ASSERT_EQ(lines.size(), 1u + 2 * 4);
    std::regex const row("3000,(cached|uncached)-(stack|heap),[12],sorted-swaps,[0-9]+,[0-9.e+-]+,[0-9.e+-]+,"
                         "(-?[0-9]+)?,(-?[0-9]+)?,(PAPI_L2_DCM)?,(PAPI_TLB_TL|PAPI_TLB_DM)?,[^,]+,(yes|no|unknown),ok,");
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], row)) << lines[i];
    // One line naming the counters, then one per run.
    EXPECT_EQ(test_support::lines_of(result.err).size(), 1u + 2 * 4) << result.err;
}

TEST(CorvaneExperiment, SortsAnElementFileWrittenByTheGenerator)
{
    test_support::temp_dir dir;
    std::string const file = dir.file("elements");
    ASSERT_EQ(test_support::run_program(DATLOW_PATH, {"-ep", "-dk", "5000", file}).status, 0);
    auto const result =
        test_support::run_program(CORVANE_PATH, {"--counters=none", "--input-file=" + file, "--sizes=1000,5000"});
    if (result.status == 1 && result.out.empty()) GTEST_SKIP() << "the counter library does not start here";
    ASSERT_EQ(result.status, 0) << result.err;
    auto const lines = test_support::lines_of(result.out);
    // The path of the temporary file holds letters, digits, '-' and '/' only.
    EXPECT_TRUE(std::regex_match(lines.at(2), std::regex("\t<experiment counters=\"none\" virtualized=\"(yes|no|unknown)\" "
                                                         "input=\"" + file + "\" repeat=\"1\"/>")))
        << lines.at(2);
    std::size_t checks = 0;
    for (std::string const& line : lines) {
        if (line.rfind("\t\t<check>", 0) == 0) {
            EXPECT_EQ(line, "\t\t<check>ok</check>");
            ++checks;
        }
    }
    EXPECT_EQ(checks, 2u * 4u);
    EXPECT_EQ(lines.back(), "</benchmark>");
}

TEST(CorvaneExperiment, HelpWritesTheUsage)
{
    auto const result = test_support::run_program(CORVANE_PATH, {"--help"});
    if (result.status == 1 && result.out.empty()) GTEST_SKIP() << "the counter library does not start here";
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("usage: corvane", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("--input-file=PATH"), std::string::npos);
}

// Every bad option ends the program before it writes anything, with a message and the usage.
TEST(CorvaneExperiment, BadOptionsExitWithStatusTwoAndWriteNothing)
{
    test_support::temp_dir dir;
    test_support::write_file(dir.file("ragged"), std::string(17, 'x'));
    std::vector<std::vector<std::string>> const cases = {
        {"--frobnicate"},
        {"--sizes=0"},
        {"--sizes=100000000000000000"},
        {"--variants=cached-stack,turbo"},
        {"--input=normal"},
        {"--input-file=" + dir.file("missing")},
        {"--input-file=" + dir.file("ragged")},
        {"--counters=auto", "--format=yaml"},
        {"--counters=simulated", "--l2-size=3000000"},
    };
    for (auto const& args : cases) {
        auto const result = test_support::run_program(CORVANE_PATH, args);
        if (result.status == 1 && result.out.empty()) GTEST_SKIP() << "the counter library does not start here";
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_EQ(result.out, "") << args.back();
        EXPECT_EQ(result.err.rfind("corvane: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("usage: corvane"), std::string::npos) << result.err;
    }
}

// One small run of each driver under valgrind's cache simulator, end to end: a native time, both
// simulated counts, the TLB unavailable, the run checked.
TEST(CorvaneExperiment, SimulatedCountersCountEveryRunUnderValgrind)
{
#ifdef KIT_SANITIZED_BUILD
    GTEST_SKIP() << "valgrind cannot run a program built with AddressSanitizer; the release build runs this test";
#endif
    char const* const path = std::getenv("PATH");
    if (find_program("valgrind", path != nullptr ? path : "").empty()) {
        GTEST_SKIP() << "valgrind is not installed (Debian package valgrind): the simulated counters cannot run";
    }
    auto const result = test_support::run_program(
        CORVANE_PATH, {"--counters=simulated", "--format=csv", "--sizes=5000", "--variants=cached-stack,uncached-heap",
                       "--seed=11", "--l2-size=64K", "--l2-ways=4", "--l2-line=64"});
    if (result.status == 1 && result.out.empty()) GTEST_SKIP() << "the counter library does not start here";
    ASSERT_EQ(result.status, 0) << result.err;
    auto const lines = test_support::lines_of(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    std::regex const row("5000,(cached-stack|uncached-heap),1,uniform,[0-9]+,[0-9.e+-]+,[0-9.e+-]+,([0-9]+),,"
                         "simulated_L2_DCM,,simulated_TLB: the cache simulator models no TLB,(yes|no|unknown),ok,,"
                         "([0-9]+),simulated_L1_DCM,[0-9]+/[0-9]+/[0-9]+,65536/4/64");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, row)) << lines[i];
        // The 80 kB input does not fit the 64 KiB second level: at least one miss per line of it,
        // and the first level misses at least as often.
        std::uint64_t const l2 = std::stoull(m[2]);
        EXPECT_GE(l2, 5000u * 16 / 64);
        EXPECT_GE(std::stoull(m[4]), l2);
    }
    auto const progress = test_support::lines_of(result.err);
    ASSERT_EQ(progress.size(), 3u) << result.err;
    EXPECT_NE(progress[2].find("left"), std::string::npos) << progress[2];
}

TEST(CorvaneExperiment, SimulatedCountersAreRefusedWithoutValgrind)
{
    test_support::temp_dir empty;
    auto const result =
        test_support::run_program("/usr/bin/env", {"PATH=" + empty.file(""), CORVANE_PATH, "--counters=simulated"});
    if (result.status == 1 && result.out.empty()) GTEST_SKIP() << "the counter library does not start here";
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("install the package valgrind"), std::string::npos) << result.err;
}

}  // namespace

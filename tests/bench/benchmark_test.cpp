#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark.hpp"
#include "funnel/tuning_globals.hpp"
#include "measure/sys_names.hpp"
#include "tests/measure/fake_counter_library.hpp"
#include "tests/support/pattern.hpp"
#include "tests/support/process.hpp"

namespace {

using fake_counters::call;
using strings = std::vector<std::string>;
using sizes = std::vector<std::uint64_t>;

test_support::pattern const run_head("\t<run buildtime=\"[A-Z][a-z]{2} [ 123][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\" compiler=\"" +
                          test_support::escaped(sys_names::compiler()) + "\" execstatus=\"0\">");
test_support::pattern const measurement(
    "\t\t<time unit=\"s\">[0-9.e+-]+</time><l2misses>[0-9-]+</l2misses><tlbmisses>[0-9-]+</tlbmisses>");
char const* const variants[] = {"Cached stack", "Cached heap", "Not cached stack", "Not cached heap"};

local_time december_seventh()
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_hour = 2;
    tm.tm_min = 59;
    tm.tm_sec = 37;
    return local_time(tm);
}

strings document(sizes const& ns)
{
    std::ostringstream out;
    std::ostringstream diagnostics;
    write_benchmark(out, december_seventh(), ns, diagnostics);
    return test_support::lines_of(out.str());
}

// Checks the run elements of a document, four per size, each ending in the given result line.
void expect_runs(strings const& lines, sizes const& ns, test_support::pattern const& result)
{
    std::size_t const run_lines = 5;
    ASSERT_EQ(lines.size(), 3 + run_lines * 4 * ns.size());
    std::size_t at = 2;
    for (std::uint64_t const n : ns) {
        for (char const* variant : variants) {
            SCOPED_TRACE(std::to_string(n) + " " + variant);
            EXPECT_TRUE(run_head.matches(lines[at])) << lines[at];
            EXPECT_EQ(lines[at + 1], "\t\t<size>" + std::to_string(n) + "</size>");
            EXPECT_EQ(lines[at + 2], std::string("\t\t<algorithm>") + variant + "</algorithm>");
            EXPECT_TRUE(result.matches(lines[at + 3])) << lines[at + 3];
            EXPECT_EQ(lines[at + 4], "\t</run>");
            at += run_lines;
        }
    }
    EXPECT_EQ(lines[at], "</benchmark>");
}

TEST(Benchmark, RunsSixSizesFrom480000To15360000)
{
    EXPECT_EQ(benchmark_sizes(), (sizes{480000, 960000, 1920000, 3840000, 7680000, 15360000}));
}

TEST(Benchmark, WritesTheHeadFourRunsPerSizeAndTheClosingTag)
{
    fake_counters::installed fake;
    alpha = 0;
    d = 0.0f;
    // Around the base case (317 elements and fewer) and through the drivers.
    sizes const ns = {1, 317, 318, 5000, 40000};
    strings const lines = document(ns);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    EXPECT_EQ(lines[1], std::string("<benchmark date=\"Dec  7 2026 02:59:37\" os=\"") + sys_names::os() +
                            "\" version=\"" + sys_names::release() + "\" host=\"" + sys_names::host() + "\">");
    expect_runs(lines, ns, measurement);
    EXPECT_EQ(alpha, 4);
    EXPECT_EQ(d, 2.5f);
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

// The system's names are the machine's, not the program's: a host name with markup or bytes no
// document may hold still gives a document that parses.
TEST(Benchmark, EscapesTheSystemsNames)
{
    fake_counters::installed fake;
    struct utsname const saved = sys_names::name;
    std::strcpy(sys_names::name.nodename, "a&b<c\"d>\x01\xff");
    std::strcpy(sys_names::name.sysname, "L&nux");
    strings const lines = document({});
    sys_names::name = saved;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find(" os=\"L&amp;nux\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(" host=\"a&amp;b&lt;c&quot;d&gt;\xEF\xBF\xBD\xEF\xBF\xBD\">"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "</benchmark>");
}

TEST(Benchmark, EveryRunReportsItsOwnFailureAndTheNextFollows)
{
    fake_counters::installed fake;
    fake_counters::current().fail(call::add_event);
    sizes const ns = {1000, 2000};
    expect_runs(document(ns), ns, test_support::pattern("\t\t<error>Caught std::exception: std::exception</error>"));
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

// The smallest size of the benchmark itself, all four variants, with nothing lost and every
// pool large enough.
TEST(Benchmark, SortsARealSizeInAllFourVariants)
{
    sizes const ns = {benchmark_sizes().front()};
    fake_counters::installed fake;
    testing::internal::CaptureStderr();
    strings const lines = document(ns);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no element out of order
    expect_runs(lines, ns, measurement);
}

}  // namespace

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/corvane_main.hpp"
#include "tests/measure/fake_counter_library.hpp"
#include "tests/support/process.hpp"

namespace {

struct outcome {
    int status;
    std::string out;
    std::string err;
};

outcome corvane(std::vector<std::string> const& args)
{
    std::ostringstream out;
    std::ostringstream err;
    int const status = corvane_main(args, out, err, fake_counters::library());
    return {status, out.str(), err.str()};
}

// A counter library that cannot start stops the fixed report before its first line; the modes
// that can do without it run, and counters as available say why there are none.
TEST(CorvaneMain, ACounterLibraryThatCannotStartStopsOnlyTheFixedReport)
{
    fake_counters::installed fake;
    use_counter_library(nullptr);
    fake_counters::current().fail(fake_counters::call::library_init);

    outcome const fixed = corvane({});
    EXPECT_EQ(fixed.status, 1);
    EXPECT_EQ(fixed.out, "");
    EXPECT_EQ(fixed.err, "The counter library could not be initialised: fake failure\n");

    outcome const help = corvane({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: corvane", 0), 0u) << help.out;
    EXPECT_EQ(corvane({"--sizes=1", "-h"}).out, help.out);
    outcome const version = corvane({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("corvane 1.0.0", 0), 0u) << version.out;

    outcome const timed = corvane({"--counters=none", "--sizes=500", "--variants=cached-heap", "--format=csv"});
    EXPECT_EQ(timed.status, 0) << timed.err;
    EXPECT_NE(timed.out.find(",ok,"), std::string::npos) << timed.out;

    outcome const available = corvane({"--counters=auto", "--sizes=500", "--variants=cached-heap", "--format=csv"});
    EXPECT_EQ(available.status, 0) << available.err;
    EXPECT_NE(available.out.find(",ok,"), std::string::npos) << available.out;
    EXPECT_NE(available.out.find("PAPI_L2_DCM: the counter library could not be initialised: fake failure"),
              std::string::npos)
        << available.out;
}

// Time only needs nothing of the counter library, not even its initialisation; counting
// experiments still initialise it.
TEST(CorvaneMain, OnlyExperimentsThatCountStartTheCounterLibrary)
{
    fake_counters::installed fake;
    std::vector<std::string> const run = {"--sizes=500", "--variants=cached-heap", "--format=csv"};
    for (char const* const counters : {"--counters=none", "--counters=auto", "--counters=papi"}) {
        fake_counters::current() = fake_counters::state{};
        std::vector<std::string> args = run;
        args.push_back(counters);
        outcome const result = corvane(args);
        EXPECT_EQ(result.status, 0) << counters << ": " << result.err;
        bool const none = std::string(counters) == "--counters=none";
        EXPECT_EQ(fake_counters::current().calls[fake_counters::call::library_init], none ? 0 : 1) << counters;
        if (none) {
            EXPECT_EQ(fake_counters::current().log, std::vector<std::string>{}) << counters;
        }
    }
    // The simulated run a --counters=simulated experiment starts for each of its runs.
    fake_counters::current() = fake_counters::state{};
    outcome const child = corvane({"--simulated-run=7", "--sizes=500", "--variants=cached-heap"});
    EXPECT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(fake_counters::current().calls[fake_counters::call::library_init], 0);
}

// Runs that fail make a complete report whose status says so, with their count last on standard
// error. The fixed report, whose callers take status 0 for a whole document, keeps it, and names
// the library's own reason where its document can only say std::exception.
TEST(CorvaneMain, FailedRunsAreCountedAndAnExperimentWithThemEndsInStatusThree)
{
    fake_counters::installed fake;
    fake_counters::current().fail(fake_counters::call::start);
    outcome const papi =
        corvane({"--counters=papi", "--sizes=400", "--variants=cached-heap,std-sort", "--format=csv", "--repeat=2"});
    EXPECT_EQ(papi.status, 3) << papi.err;
    auto const lines = test_support::lines_of(papi.out);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](std::string const& l) { return l.rfind('#', 0) != 0; }), 1 + 4)
        << papi.out;
    EXPECT_NE(papi.err.find("fake failure"), std::string::npos) << papi.err;
    EXPECT_EQ(test_support::lines_of(papi.err).back(), "corvane: 4 of 4 runs failed") << papi.err;

    // Failing before any input is made keeps the fixed report's full sizes quick.
    fake_counters::current() = fake_counters::state{};
    fake_counters::current().fail(fake_counters::call::create_eventset);
    outcome const fixed = corvane({});
    EXPECT_EQ(fixed.status, 0) << fixed.err;
    EXPECT_EQ(test_support::lines_of(fixed.out).back(), "</benchmark>");
    EXPECT_NE(fixed.out.find("<error>Caught std::exception: std::exception</error>"), std::string::npos);
    auto const said = test_support::lines_of(fixed.err);
    ASSERT_EQ(said.size(), 24u + 1) << fixed.err;
    EXPECT_EQ(said.front().rfind("corvane: Cached stack, 480000 elements: ", 0), 0u) << said.front();
    EXPECT_NE(said.front().find("fake failure"), std::string::npos) << said.front();
    EXPECT_EQ(said.back(), "corvane: 24 of 24 runs failed");

    // Where every run works the status is 0 and nothing is counted.
    fake_counters::current() = fake_counters::state{};
    outcome const fine = corvane({"--counters=papi", "--sizes=400", "--variants=cached-heap", "--format=csv"});
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_EQ(fine.err.find("runs failed"), std::string::npos) << fine.err;
}

}  // namespace

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/corvane_main.hpp"
#include "tests/measure/fake_counter_library.hpp"

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

}  // namespace

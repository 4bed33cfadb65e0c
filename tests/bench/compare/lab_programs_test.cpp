// merge_levels, base_case_sorts and compare_sorts as a user calls them: what they refuse, and
// what they say when the memory is not there.

#include <string>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "tests/support/process.hpp"

namespace {

using test_support::run_program;

// A number is the whole argument, and a count of at least one: anything else is usage.
TEST(LabPrograms, RefuseWhatIsNoPlainCountOrNoArgumentOfTheirs)
{
    std::string const usage = "usage: merge_levels [--alpha=A] [--d=D] [ELEMENTS [cached|uncached [INPUT]]]\n";
    for (std::vector<std::string> const& args :
         {std::vector<std::string>{"-1"}, {"12abc"}, {"1e6"}, {"0"}, {""}, {"18446744073709551616"},
          {"1000", "cached", "uniform", "extra"}}) {
        auto const result = run_program(MERGE_LEVELS_PATH, args);
        EXPECT_EQ(result.status, 2) << args[0];
        EXPECT_EQ(result.err, usage) << args[0];
        EXPECT_EQ(result.out, "") << args[0];
    }
    auto const base_case = run_program(BASE_CASE_SORTS_PATH, {"--quick"});
    EXPECT_EQ(base_case.status, 2);
    EXPECT_EQ(base_case.err, "base_case_sorts: unknown argument '--quick'\nusage: base_case_sorts\n");
    EXPECT_EQ(base_case.out, "");
}

#ifndef KIT_SANITIZED_BUILD  // the sanitizers need more address space than the limit leaves
// Sizes beyond the address space the process may have end with a message and status 1, never abort.
TEST(LabPrograms, SayWhenTheMemoryIsNotThere)
{
    constexpr rlim_t address_space = 100ul << 20;
    for (char const* elements : {"10000000", "4000000000"}) {
        auto const result = test_support::run_limited(MERGE_LEVELS_PATH, RLIMIT_AS, address_space, {elements});
        EXPECT_EQ(result.status, 1) << elements;
        EXPECT_EQ(result.err, "merge_levels: not enough memory for " + std::string(elements) + " elements\n");
    }
    for (std::vector<std::string> const& args :
         {std::vector<std::string>{"--size=30000000"}, {"--once=cached-stack", "--size=30000000"}}) {
        auto const result = test_support::run_limited(COMPARE_SORTS_PATH, RLIMIT_AS, address_space, args);
        EXPECT_EQ(result.status, 1) << args[0];
        // Google Benchmark describes the machine on standard error first.
        std::string const said = "compare_sorts: not enough memory for 30000000 elements\n";
        ASSERT_GE(result.err.size(), said.size()) << args[0];
        EXPECT_EQ(result.err.substr(result.err.size() - said.size()), said) << args[0];
    }
}
#endif

}  // namespace

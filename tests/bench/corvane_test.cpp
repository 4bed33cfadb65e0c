#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "measure/sys_names.hpp"
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

}  // namespace

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "measure/sys_names.hpp"
#include "tests/support/process.hpp"

namespace {

TEST(Corvane, WritesTheReportHeadAndClosesIt)
{
    auto const result = test_support::run_program(CORVANE_PATH, {});
    EXPECT_EQ(result.status, 0);
    auto const lines = test_support::lines_of(result.out);
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
}

}  // namespace

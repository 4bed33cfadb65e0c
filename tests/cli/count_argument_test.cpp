#include <cstdint>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "cli/count_argument.hpp"

namespace {

using cli::parse_count;

TEST(CountArgument, TakesPlainDecimalsUpToTheLargestAndNothingElse)
{
    EXPECT_EQ(parse_count("0", 10), std::optional<std::uint64_t>(0));
    EXPECT_EQ(parse_count("2147483647", 2147483647), std::optional<std::uint64_t>(2147483647));
    EXPECT_EQ(parse_count("2147483648", 2147483647), std::nullopt);
    constexpr std::uint64_t all = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(parse_count("18446744073709551615", all), std::optional<std::uint64_t>(all));
    EXPECT_EQ(parse_count("18446744073709551616", all), std::nullopt);  // wraps to 0 in 64 bits
    for (char const* wrong : {"", "-0", "-1", "+1", "00", "07", " 7", "7 ", "1e3", "10abc", "abc", "0x10"}) {
        EXPECT_EQ(parse_count(wrong, all), std::nullopt) << '"' << wrong << '"';
    }
}

}  // namespace

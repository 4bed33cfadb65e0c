#include <ctime>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "measure/sys_names.hpp"

namespace {

std::string print(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    std::ostringstream os;
    os << local_time(tm);
    return os.str();
}

TEST(LocalTime, PadsTheDayWithBlanksAndTheClockWithZeros)
{
    EXPECT_EQ(print(2026, 12, 7, 2, 59, 37), "Dec  7 2026 02:59:37");
    EXPECT_EQ(print(2027, 1, 1, 9, 5, 3), "Jan  1 2027 09:05:03");
    EXPECT_EQ(print(2026, 5, 31, 23, 0, 0), "May 31 2026 23:00:00");
}

TEST(LocalTime, HasTheShapeOfTheCompilersBuildTime)
{
    std::string const build = __DATE__ " " __TIME__;
    std::string const now = [] {
        std::ostringstream os;
        os << local_time(std::time(nullptr));
        return os.str();
    }();
    ASSERT_EQ(now.size(), build.size());
    // The day's tens are a blank before the 10th and a digit from it on, in either text: a build of
    // the 9th run on the 10th differs there.
    std::size_t const day_tens = 4;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (i == day_tens) {
            EXPECT_TRUE(now[i] == ' ' || (now[i] >= '1' && now[i] <= '3')) << now;
            continue;
        }
        EXPECT_EQ(now[i] == ' ' || now[i] == ':', build[i] == ' ' || build[i] == ':') << i;
    }
}

TEST(LocalTime, LeavesTheStreamFillAsItWas)
{
    std::ostringstream os;
    os << local_time(std::time(nullptr));
    EXPECT_EQ(os.fill(), ' ');
}

TEST(SysNames, AreTheUnameFields)
{
    struct utsname expected;
    ASSERT_EQ(uname(&expected), 0);
    EXPECT_STREQ(sys_names::os(), expected.sysname);
    EXPECT_STREQ(sys_names::release(), expected.release);
    EXPECT_STREQ(sys_names::host(), expected.nodename);
}

TEST(SysNames, CompilerTextIsStable)
{
    char const* first = sys_names::compiler();
    std::string const text = first;
    EXPECT_EQ(sys_names::compiler(), first);
    EXPECT_EQ(text, std::string("GNU C++ ") + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) +
                        "." + std::to_string(__GNUC_PATCHLEVEL__));
}

}  // namespace

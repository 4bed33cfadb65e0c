#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "measure/pf_counter.hpp"

namespace {

struct scripted_faults {
    static std::int64_t count;
    static int reads;
    static std::int64_t read()
    {
        ++reads;
        return count;
    }
};
std::int64_t scripted_faults::count = 0;
int scripted_faults::reads = 0;

pf_counter fresh_counter(std::int64_t faults)
{
    scripted_faults::count = faults;
    scripted_faults::reads = 0;
    return pf_counter(scripted_faults::read);
}

TEST(PfCounter, CountsFaultsOverIntervals)
{
    pf_counter counter = fresh_counter(5);
    counter.start();
    scripted_faults::count = 9;
    counter.stop();
    EXPECT_EQ(counter.total(), 4);
    counter.stop();  // not running: nothing is read or added
    EXPECT_EQ(scripted_faults::reads, 2);
    counter.start();
    scripted_faults::count = 12;
    counter.stop();
    EXPECT_EQ(counter.total(), 7);
}

TEST(PfCounter, StartWithoutAnyFaultYetDoesNotRun)
{
    pf_counter counter = fresh_counter(0);
    counter.start();
    scripted_faults::count = 6;
    counter.stop();
    EXPECT_EQ(counter.total(), 0);
}

TEST(PfCounter, ResetClearsTheTotalAndRestartsARunningInterval)
{
    pf_counter counter = fresh_counter(3);
    counter.start();
    scripted_faults::count = 5;
    counter.stop();
    ASSERT_EQ(counter.total(), 2);

    counter.start();
    scripted_faults::count = 8;
    counter.reset();
    EXPECT_EQ(counter.total(), 0);
    scripted_faults::count = 11;
    counter.stop();
    EXPECT_EQ(counter.total(), 3);

    int const reads = scripted_faults::reads;
    counter.reset();  // not running: nothing to restart
    EXPECT_EQ(scripted_faults::reads, reads);
    EXPECT_EQ(counter.total(), 0);
}

TEST(PfCounter, ReadsTheProcessCount)
{
    EXPECT_GE(pf_counter::process_major_faults(), 0);
}

TEST(PfCounterFragment, WritesTheCountAfterTheIndentation)
{
    std::ostringstream os;
    os << pf_counter::xt{12, 1, '\t'} << '|' << pf_counter::xt{18446744073709551615u, 0, '\t'};
    EXPECT_EQ(os.str(), "\t<pagefaults>12</pagefaults>|<pagefaults>18446744073709551615</pagefaults>");
}

}  // namespace

#include <chrono>
#include <cstddef>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "measure/stopwatch.hpp"

namespace {

// A clock that hands out scripted readings, repeating the last one when the script runs out.
struct scripted_clock {
    static std::vector<timeval> readings;
    static std::size_t taken;

    static void read(timeval& now)
    {
        now = readings[taken < readings.size() ? taken : readings.size() - 1];
        ++taken;
    }
};
std::vector<timeval> scripted_clock::readings;
std::size_t scripted_clock::taken = 0;

constexpr long epoch_now = 1765000000;  // seconds, a realistic gettimeofday value

timeval at(long seconds, long microseconds) { return timeval{seconds, microseconds}; }

// The 80 calibration readings: pairs whose second reading lies gap microseconds after the first.
void script_calibration(std::vector<long> const& gaps)
{
    scripted_clock::readings.clear();
    scripted_clock::taken = 0;
    for (int round = 0; round < stopwatch::calibration_rounds; ++round) {
        long const gap = gaps[static_cast<std::size_t>(round) % gaps.size()];
        timeval const a = at(epoch_now, 500000);
        scripted_clock::readings.push_back(a);
        scripted_clock::readings.push_back(at(epoch_now, 500000 + gap));
    }
}

// A calibrated stopwatch with the given resolution, whose next readings are `then`.
stopwatch with_resolution(long resolution, std::vector<timeval> const& then)
{
    script_calibration({resolution});
    scripted_clock::readings.insert(scripted_clock::readings.end(), then.begin(), then.end());
    return stopwatch(scripted_clock::read);
}

TEST(Stopwatch, CalibratesToTheSmallestNonNegativeGap)
{
    script_calibration({9, 4, 7});
    EXPECT_EQ(stopwatch(scripted_clock::read).resolution(), 4);
    EXPECT_EQ(scripted_clock::taken, 2u * stopwatch::calibration_rounds);

    script_calibration({0, 3});
    EXPECT_EQ(stopwatch(scripted_clock::read).resolution(), 0);

    // A clock set back between two readings proves nothing about its step.
    script_calibration({-50, 120});
    EXPECT_EQ(stopwatch(scripted_clock::read).resolution(), 120);

    script_calibration({250, 1000000});
    EXPECT_EQ(stopwatch(scripted_clock::read).resolution(), stopwatch::max_resolution_us);
}

TEST(Stopwatch, StopWithoutStartLeavesTheTotal)
{
    stopwatch watch = with_resolution(5, {at(epoch_now + 3, 0)});
    std::size_t const before = scripted_clock::taken;
    watch.stop();
    EXPECT_EQ(scripted_clock::taken, before + 1);  // the clock is read before the running test
    EXPECT_EQ(watch.total(), 0.0);
    EXPECT_FALSE(watch.running());
}

TEST(Stopwatch, ZeroIntervalCountsOneResolutionStep)
{
    stopwatch watch = with_resolution(17, {at(epoch_now, 250), at(epoch_now, 250)});
    watch.start();
    watch.stop();
    EXPECT_DOUBLE_EQ(watch.total(), 17e-6);
    EXPECT_FALSE(watch.running());
}

TEST(Stopwatch, SecondStartRestartsTheInterval)
{
    stopwatch watch = with_resolution(5, {at(epoch_now + 10, 0), at(epoch_now + 12, 0), at(epoch_now + 15, 500000)});
    watch.start();
    watch.start();
    watch.stop();
    EXPECT_DOUBLE_EQ(watch.total(), 3.5 + 5e-6);
}

TEST(Stopwatch, AccumulatesIntervalsAndKeepsMicroseconds)
{
    // Microsecond steps at today's clock values, across a second boundary.
    stopwatch watch = with_resolution(0, {at(epoch_now, 999998), at(epoch_now + 1, 1), at(epoch_now + 1, 1),
                                          at(epoch_now + 2, 2), at(epoch_now + 9, 0)});
    watch.start();
    watch.stop();
    EXPECT_DOUBLE_EQ(watch.total(), 3e-6);
    watch.start();
    watch.stop();
    EXPECT_DOUBLE_EQ(watch.total(), 3e-6 + 1.000001);
    watch.stop();  // not running any more: adds nothing
    EXPECT_DOUBLE_EQ(watch.total(), 3e-6 + 1.000001);
}

TEST(Stopwatch, MeasuresTheSystemClock)
{
    stopwatch watch;
    EXPECT_GE(watch.resolution(), 0);
    EXPECT_LE(watch.resolution(), stopwatch::max_resolution_us);
    watch.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    watch.stop();
    EXPECT_GE(watch.total(), 0.02);
}

std::string print(stopwatch::xt const& fragment)
{
    std::ostringstream os;
    os << fragment;
    return os.str();
}

TEST(StopwatchFragment, IndentsAndUsesTheDefaultFloatingPointFormat)
{
    EXPECT_EQ(print({0.5, 2, '\t'}), "\t\t<time unit=\"s\">0.5</time>");
    EXPECT_EQ(print({1.23456789, 0, '\t'}), "<time unit=\"s\">1.23457</time>");
    EXPECT_EQ(print({1.5e-7, -3, '\t'}), "<time unit=\"s\">1.5e-07</time>");
    EXPECT_EQ(print({1234567.0, 3, ' '}), "   <time unit=\"s\">1.23457e+06</time>");
}

}  // namespace

#pragma once
// Wall-clock stopwatch. Each measured interval counts the clock difference plus one resolution
// step, the smallest step the clock was seen to take when the stopwatch was made.

#include <cstdint>
#include <ostream>

#include <sys/time.h>

class stopwatch {
public:
    // Reads the current time; production uses gettimeofday, tests a scripted clock.
    using clock_reader = void (*)(timeval& now);

    static constexpr std::int64_t max_resolution_us = 200;  // resolution assumed before calibrating
    static constexpr int calibration_rounds = 40;

    // Not running, total 0; then calibrates the resolution from pairs of back-to-back readings.
    explicit stopwatch(clock_reader read_clock = system_clock);

    // Takes the current time as the start; a running stopwatch simply starts over.
    void start();
    // Reads the clock before anything else; adds the interval only if the stopwatch is running.
    void stop();
    // Adds the interval from the start to now (plus one resolution step) and stops.
    void do_stop(timeval& now);

    double total() const { return total_; }
    std::int64_t resolution() const { return resolution_; }
    bool running() const { return start_time_.tv_sec != 0 || start_time_.tv_usec != 0; }

    // Report fragment: indentation, then <time unit="s">seconds</time>, without ending the line.
    struct xt {
        double total;
        std::int32_t indent_count;
        char indent_char;
    };

    static void system_clock(timeval& now);

private:
    clock_reader read_clock_;
    timeval start_time_;       // all zero while not running
    std::int64_t resolution_;  // microseconds
    double total_;             // seconds
};

std::ostream& operator<<(std::ostream& os, stopwatch::xt const& fragment);

#pragma once
// The experiments' stopwatch: std::chrono::steady_clock, monotonic and counted in nanoseconds, so
// that a sort of a few microseconds is timed by the clock rather than by its resolution, and a
// clock set back or forward meanwhile changes nothing. The fixed report keeps its own stopwatch
// (stopwatch.hpp) and the layout of its time fragment.

#include <chrono>

class steady_stopwatch {
public:
    using clock = std::chrono::steady_clock;

    // Takes the current time as the start; a running stopwatch simply starts over.
    void start()
    {
        start_time_ = clock::now();
        running_ = true;
    }

    // Reads the clock before anything else; adds the interval only if the stopwatch is running.
    void stop()
    {
        clock::time_point const now = clock::now();
        if (!running_) return;
        total_ += now - start_time_;
        running_ = false;
    }

    // The sum of all measured intervals, in seconds.
    double total() const { return std::chrono::duration<double>(total_).count(); }

private:
    clock::time_point start_time_{};
    clock::duration total_{0};
    bool running_ = false;
};

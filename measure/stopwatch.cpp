#include "measure/stopwatch.hpp"

#include "measure/xml_indent.hpp"

namespace {

constexpr double microseconds_per_second = 1000000.0;

std::int64_t microseconds_between(timeval const& a, timeval const& b)
{
    constexpr std::int64_t us_per_s = 1000000;
    return (static_cast<std::int64_t>(b.tv_sec) - a.tv_sec) * us_per_s +
           (static_cast<std::int64_t>(b.tv_usec) - a.tv_usec);
}

}  // namespace

void stopwatch::system_clock(timeval& now) { gettimeofday(&now, nullptr); }

stopwatch::stopwatch(clock_reader read_clock)
    : read_clock_(read_clock), start_time_{}, resolution_(max_resolution_us), total_(0.0)
{
    for (int round = 0; round < calibration_rounds; ++round) {
        timeval a;
        timeval b;
        read_clock_(a);
        read_clock_(b);
        std::int64_t const gap = microseconds_between(a, b);
        // A clock set back between the readings gives a negative gap, which says nothing.
        if (gap >= 0 && gap < resolution_) resolution_ = gap;
    }
}

void stopwatch::start() { read_clock_(start_time_); }

void stopwatch::stop()
{
    timeval now;
    read_clock_(now);
    if (running()) do_stop(now);
}

void stopwatch::do_stop(timeval& now)
{
    // Whole microseconds are exact in 64-bit integers; converting only the difference keeps
    // them exact, where two readings some 1.7e9 seconds after the epoch would lose them to
    // rounding in double precision.
    std::int64_t const microseconds = microseconds_between(start_time_, now) + resolution_;
    total_ += static_cast<double>(microseconds) / microseconds_per_second;
    start_time_ = timeval{};
}

std::ostream& operator<<(std::ostream& os, stopwatch::xt const& fragment)
{
    write_indent(os, fragment.indent_count, fragment.indent_char);
    return os << "<time unit=\"s\">" << fragment.total << "</time>";
}

#pragma once
// What one interval cost the process beyond its wall time: page faults, the bytes it made the
// storage read and write, its processor time split into user and system, and the peak of its
// memory. Faults and processor time come from getrusage, the bytes from /proc/self/io (read_bytes
// and write_bytes: storage traffic the process caused, its faults' reads and the pages it
// dirtied, whatever page cache it went through). Peak memory comes from a memory cgroup's own
// peak where the process runs in one made for it, else from the process's VmHWM, reset before
// the interval.

#include <cstdint>
#include <string>

struct data_movement {
    std::int64_t major_faults = 0;
    std::int64_t minor_faults = 0;
    std::uint64_t read_bytes = 0;
    std::uint64_t write_bytes = 0;
    double user_s = 0.0;
    double system_s = 0.0;
    std::uint64_t peak_rss_bytes = 0;
    bool counted = false;  // false: the process could not be measured (no /proc, for instance)
};

class movement_meter {
public:
    // peak_file: a cgroup's peak memory file (v1 memory.max_usage_in_bytes, v2 memory.peak), which
    // is reset before the interval where the kernel allows it; empty: the process's VmHWM.
    explicit movement_meter(std::string peak_file = {});

    void start();
    // The movement since start.
    data_movement stop();

private:
    // The counts since the process began; counted tells whether /proc/self/io could be read.
    static data_movement read_now();

    std::string peak_file_;
    data_movement started_;
};

#pragma once
// Counts the major page faults of the whole process over one or more intervals.

#include <cstdint>
#include <ostream>

class pf_counter {
public:
    // Reads the process's major page-fault count; production uses getrusage.
    using fault_reader = std::int64_t (*)();

    explicit pf_counter(fault_reader read_faults = process_major_faults);

    // Remembers the current count. A process without any major fault yet reads 0, which leaves
    // the counter not running.
    void start();
    // Adds the faults since the start, if running, and stops.
    void stop();
    // Clears the total; a running counter starts its interval over.
    void reset();

    std::int64_t total() const { return total_; }

    // Report fragment: indentation, then <pagefaults>count</pagefaults>, without ending the line.
    struct xt {
        std::uint64_t count;
        std::int32_t indent_count;
        char indent_char;
    };

    static std::int64_t process_major_faults();

private:
    fault_reader read_faults_;
    std::int64_t start_count_;  // 0 while not running
    std::int64_t total_;
};

std::ostream& operator<<(std::ostream& os, pf_counter::xt const& fragment);

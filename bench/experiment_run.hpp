#pragma once
// One run of an experiment: n items of the run's type from the input source, sorted once into
// the checked output while the stopwatch and the chosen miss counters run, then checked (order,
// item count, the order-independent checksum over whole items and, for element, the key sum).

#include <cstdint>
#include <functional>
#include <string>

#include "bench/content_check.hpp"
#include "bench/input_source.hpp"
#include "measure/counter_choice.hpp"
#include "measure/miss_counter.hpp"

#include "bench/variants.hpp"

template <class T>
using experiment_sort_of = std::function<void(T* first, T* last, checked_output_of<T> into)>;
using experiment_sort = experiment_sort_of<element>;

struct run_result {
    bool measured = false;  // the sort ran and was timed
    double seconds = 0.0;
    // By counter slot; meaningful for the counted slots of the run's counter choice.
    miss_counter::values counts{};
    bool counts_read = false;
    // Simulated counters only: the first-level data misses (the level-2 ones are in counts).
    std::int64_t l1_misses = 0;
    std::string check;  // "ok", or what the check found, when measured
    std::string error;  // the what() text of a failure; empty when nothing failed
};

// Runs and checks one sort. A failure derived from std::exception is caught and reported in
// the result (a counter failure with the library's reason); when it comes after the measurement
// (releasing the counters), the measurement is kept. An input file that cannot be read is no
// failure of the run: its input_file_error passes on. The counters make no library call when
// the choice counts nothing.
template <class T>
run_result experiment_run_of(std::uint64_t n, std::uint64_t seed, input_source const& input,
                             counter_choice const& counters, experiment_sort_of<T> const& sort);

// The same for element items.
run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          experiment_sort const& sort);

// The same with the variant's sort of the given item type, which it must support.
run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          variant const& sort, item_type type);

extern template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                          experiment_sort_of<element> const&);
extern template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                          experiment_sort_of<int> const&);
extern template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                          experiment_sort_of<record> const&);

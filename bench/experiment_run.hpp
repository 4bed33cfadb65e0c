#pragma once
// One run of an experiment: n items of the run's type from the input source, sorted into the
// checked output while the stopwatch and the chosen miss counters run, then checked (order, item
// count, the order-independent checksum over whole items and, for element, the key sum). A sort
// too short to time well on its own is measured as one interval over K sorts of K copies of the
// input, all made before the interval, each sort with its own check; the time and the counts
// reported are per sort.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "bench/content_check.hpp"
#include "bench/input_source.hpp"
#include "measure/counter_choice.hpp"
#include "measure/data_movement.hpp"
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
    std::uint64_t sorts = 1;  // K, the sorts of the one timed interval; seconds and counts are per sort
    data_movement moved;  // over the timed interval, when measured
};

// Where a run keeps its arrays and where its peak memory is read.
struct run_storage {
    // Arrays in scratch files under folder, mapped shared; false: anonymous memory.
    bool mapped = false;
    std::string folder;
    // The peak memory file of the cgroup the run is confined to; empty: the process's VmHWM.
    std::string peak_file;
};

// The length a measurement of several sorts aims at: the clock's reading costs and the odd
// interruption weigh little against it.
constexpr double measurement_seconds = 0.01;
// The most copies one measurement sorts, and the most bytes they may take together.
constexpr std::uint64_t max_sorts_per_measurement = 65536;
constexpr std::uint64_t max_copies_bytes = std::uint64_t{256} << 20;

// The most sorts of n items of item_bytes each that one measurement may hold.
std::uint64_t most_sorts(std::uint64_t n, std::size_t item_bytes);

// K for sorts of n items of item_bytes each that take one_sort_seconds: enough sorts for about
// measurement_seconds, at least 1, and within the limits above. 0 seconds (nothing known) gives 1.
std::uint64_t sorts_per_measurement(double one_sort_seconds, std::uint64_t n, std::size_t item_bytes);

// Runs and checks one measurement of `sorts` sorts. A failure derived from std::exception is caught and reported in
// the result (a counter failure with the library's reason); when it comes after the measurement
// (releasing the counters), the measurement is kept. An input file that cannot be read is no
// failure of the run: its input_file_error passes on. The counters make no library call when
// the choice counts nothing.
template <class T>
run_result experiment_run_of(std::uint64_t n, std::uint64_t seed, input_source const& input,
                             counter_choice const& counters, experiment_sort_of<T> const& sort, std::uint64_t sorts = 1,
                             run_storage const& storage = {});

// The same with mapped storage: the input in a scratch file, written back and dropped from memory
// before the interval, so that the sort starts with it on disk; the interval ends once the sorted
// array is written back; the check reads it afterwards.
template <class T>
run_result experiment_run_kept_of(std::uint64_t n, std::uint64_t seed, input_source const& input,
                                  counter_choice const& counters, sort_kept<T> sort, run_storage const& storage);

// The same for element items.
run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          experiment_sort const& sort, std::uint64_t sorts = 1);

// The same with the variant's sort of the given item type, which it must support, and the storage.
run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          variant const& sort, item_type type, std::uint64_t sorts = 1,
                          run_storage const& storage = {});

// The warm-up of a variant at a size, before its first measurement: one untimed sort, which pays
// for the first run of its code, cold caches and the heap's first pages, then measurements of 1,
// 2, 4, ... sorts until one takes a quarter of measurement_seconds. Returns the time of one sort
// in the fastest of them (the untimed sort's, when that alone took measurement_seconds), or 0
// when the sort failed: its runs will report why.
double warm_up(std::uint64_t n, std::uint64_t seed, input_source const& input, variant const& sort, item_type type);

extern template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                          experiment_sort_of<element> const&, std::uint64_t, run_storage const&);
extern template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                          experiment_sort_of<int> const&, std::uint64_t, run_storage const&);
extern template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                          experiment_sort_of<record> const&, std::uint64_t, run_storage const&);
extern template run_result experiment_run_kept_of(std::uint64_t, std::uint64_t, input_source const&,
                                               counter_choice const&, sort_kept<element>, run_storage const&);
extern template run_result experiment_run_kept_of(std::uint64_t, std::uint64_t, input_source const&,
                                               counter_choice const&, sort_kept<int>, run_storage const&);
extern template run_result experiment_run_kept_of(std::uint64_t, std::uint64_t, input_source const&,
                                               counter_choice const&, sort_kept<record>, run_storage const&);

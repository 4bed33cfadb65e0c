#include "bench/experiment_run.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <memory>
#include <vector>

#include "auto_array/scratch_mapping.hpp"
#include "bench/mapped_room.hpp"
#include "bench/timed_interval.hpp"
#include "measure/counter_error.hpp"
#include "measure/steady_stopwatch.hpp"

namespace {

// The warm-up's measurements stop growing at a quarter of a measurement's length.
constexpr double calibration_seconds = measurement_seconds / 4;

}  // namespace

std::uint64_t most_sorts(std::uint64_t n, std::size_t item_bytes)
{
    std::uint64_t const copy_bytes = std::max<std::uint64_t>(1, n * item_bytes);
    return std::max<std::uint64_t>(1, std::min(max_sorts_per_measurement, max_copies_bytes / copy_bytes));
}

std::uint64_t sorts_per_measurement(double one_sort_seconds, std::uint64_t n, std::size_t item_bytes)
{
    if (!(one_sort_seconds > 0.0) || one_sort_seconds >= measurement_seconds) return 1;
    auto const wanted = static_cast<std::uint64_t>(std::ceil(measurement_seconds / one_sort_seconds));
    return std::min(wanted, most_sorts(n, item_bytes));
}

namespace {

// Runs measure(watch, misses, moved, result) with the run's meters, misses null when the choice
// counts nothing, and turns every failure into the result's error (see experiment_run_of).
template <class Measure>
run_result measured(counter_choice const& counters, run_storage const& storage, std::uint64_t sorts, Measure measure)
{
    run_result result;
    result.sorts = sorts;
    try {
        steady_stopwatch watch;
        movement_meter moved(storage.peak_file);
        miss_counter::event_list const events = counters.events();
        if (events.empty()) {
            measure(watch, nullptr, moved, result);
        } else {
            // A plain local: its release, which can fail after the measurement, may raise.
            miss_counter misses(events);
            measure(watch, &misses, moved, result);
            miss_counter::values const values = misses.read_values();
            for (std::size_t i = 0; i < values.size(); ++i) {
                std::size_t const slot = counters.slot_of_event(i);
                if (slot < result.counts.size()) {
                    result.counts[slot] = std::llround(static_cast<double>(values[i]) / static_cast<double>(sorts));
                }
            }
            result.counts_read = true;
        }
    } catch (input_file_error const&) {
        // Not a failure of this run: the input every further run needs is gone.
        throw;
    } catch (counter_error const& e) {
        // The library's own words; the benchmark's report keeps its plain text instead.
        result.error = e.reason();
    } catch (std::exception const& e) {
        result.error = e.what();
    }
    return result;
}

}  // namespace

template <class T>
run_result experiment_run_of(std::uint64_t n, std::uint64_t seed, input_source const& input,
                             counter_choice const& counters, experiment_sort_of<T> const& sort, std::uint64_t sorts,
                             run_storage const& storage)
{
    return measured(counters, storage, sorts, [&](steady_stopwatch& watch, miss_counter* misses, movement_meter& moved,
                                                  run_result& result) {
        // The copies lie side by side; the first is made from the source, the others copied from it.
        std::unique_ptr<T[]> data(new T[n * sorts]());
        input.fill(data.get(), data.get() + n, seed);
        for (std::uint64_t i = 1; i < sorts; ++i) std::copy(data.get(), data.get() + n, data.get() + i * n);
        expected_content_of<T> const expected = expected_content_of<T>::of(data.get(), data.get() + n);
        // Every sort delivers into a check of its own, whose address stays put as the deque grows.
        std::deque<output_check_of<T>> checks;
        std::vector<checked_output_of<T>> outputs;
        for (std::uint64_t i = 0; i < sorts; ++i) {
            checks.emplace_back(expected);
            outputs.push_back(checks.back().into());
        }
        time_sort(
            watch, misses,
            [&] {
                for (std::uint64_t i = 0; i < sorts; ++i) sort(data.get() + i * n, data.get() + (i + 1) * n, outputs[i]);
            },
            &moved, &result.moved);
        data.reset();

        result.seconds = watch.total() / static_cast<double>(sorts);
        result.measured = true;
        result.check = "ok";
        for (std::uint64_t i = 0; i < sorts; ++i) {
            std::string const verdict = checks[i].verdict();
            if (verdict == "ok") continue;
            result.check = sorts == 1 ? verdict
                                      : "sort " + std::to_string(i + 1) + " of " + std::to_string(sorts) + ": " + verdict;
            break;
        }
    });
}

template <class T>
run_result experiment_run_kept_of(std::uint64_t n, std::uint64_t seed, input_source const& input,
                                  counter_choice const& counters, sort_kept<T> sort, run_storage const& storage)
{
    return measured(counters, storage, 1, [&](steady_stopwatch& watch, miss_counter* misses, movement_meter& moved,
                                              run_result& result) {
        mapped_room room(storage.folder);
        T* const data = room.take_array<T>(n);
        input.fill(data, data + n, seed);
        output_check_of<T> check(expected_content_of<T>::of(data, data + n));
        room.write_back_and_drop();
        T* sorted = nullptr;
        time_sort(
            watch, misses,
            [&] {
                sorted = sort(data, data + n, room);
                auto_array::write_back(sorted, n * sizeof(T));
            },
            &moved, &result.moved);
        std::copy(sorted, sorted + n, check.into());
        result.seconds = watch.total();
        result.measured = true;
        result.check = check.verdict();
    });
}

template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                   experiment_sort_of<element> const&, std::uint64_t, run_storage const&);
template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                   experiment_sort_of<int> const&, std::uint64_t, run_storage const&);
template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                   experiment_sort_of<record> const&, std::uint64_t, run_storage const&);
template run_result experiment_run_kept_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                        sort_kept<element>, run_storage const&);
template run_result experiment_run_kept_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                        sort_kept<int>, run_storage const&);
template run_result experiment_run_kept_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                        sort_kept<record>, run_storage const&);

run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          experiment_sort const& sort, std::uint64_t sorts)
{
    return experiment_run_of<element>(n, seed, input, counters, sort, sorts);
}

run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          variant const& sort, item_type type, std::uint64_t sorts, run_storage const& storage)
{
    return with_item_type(type, [&](auto* none) {
        using T = std::remove_pointer_t<decltype(none)>;
        if (storage.mapped) return experiment_run_kept_of<T>(n, seed, input, counters, sort.kept_of<T>(), storage);
        return experiment_run_of<T>(n, seed, input, counters, sort.sort_of<T>(), sorts, storage);
    });
}

double warm_up(std::uint64_t n, std::uint64_t seed, input_source const& input, variant const& sort, item_type type)
{
    counter_choice const no_counters = choose_counters(counter_mode::none, nullptr);
    run_result last = experiment_run(n, seed, input, no_counters, sort, type);
    if (!last.measured) return 0.0;
    if (last.seconds >= measurement_seconds) return last.seconds;
    // The fastest of the growing measurements: on a shared machine an interval can only grow, by
    // the time another process held the processor.
    double fastest = 0.0;
    std::uint64_t const most = most_sorts(n, item_size(type));
    std::uint64_t sorts = 1;
    do {
        sorts = std::min(2 * sorts, most);
        last = experiment_run(n, seed, input, no_counters, sort, type, sorts);
        if (!last.measured) return 0.0;
        if (fastest == 0.0 || last.seconds < fastest) fastest = last.seconds;
    } while (last.seconds * static_cast<double>(sorts) < calibration_seconds && sorts < most);
    return fastest;
}

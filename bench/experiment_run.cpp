#include "bench/experiment_run.hpp"

#include <exception>
#include <memory>

#include "bench/timed_interval.hpp"
#include "measure/counter_error.hpp"
#include "measure/stopwatch.hpp"

template <class T>
run_result experiment_run_of(std::uint64_t n, std::uint64_t seed, input_source const& input,
                             counter_choice const& counters, experiment_sort_of<T> const& sort)
{
    run_result result;
    // Measures with the counters, or without them when misses is null.
    auto measure = [&](stopwatch& watch, miss_counter* misses) {
        std::unique_ptr<T[]> data(new T[n]());
        input.fill(data.get(), data.get() + n, seed);
        output_check_of<T> check(expected_content_of<T>::of(data.get(), data.get() + n));
        time_sort(watch, misses, [&] { sort(data.get(), data.get() + n, check.into()); });
        data.reset();

        result.seconds = watch.total();
        result.measured = true;
        result.check = check.verdict();
        if (misses != nullptr) {
            miss_counter::values const values = misses->read_values();
            for (std::size_t i = 0; i < values.size(); ++i) {
                std::size_t const slot = counters.slot_of_event(i);
                if (slot < result.counts.size()) result.counts[slot] = values[i];
            }
            result.counts_read = true;
        }
    };
    try {
        stopwatch watch;
        miss_counter::event_list const events = counters.events();
        if (events.empty()) {
            measure(watch, nullptr);
        } else {
            // A plain local: its release, which can fail after the measurement, may raise.
            miss_counter misses(events);
            measure(watch, &misses);
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

template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                   experiment_sort_of<element> const&);
template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                   experiment_sort_of<int> const&);
template run_result experiment_run_of(std::uint64_t, std::uint64_t, input_source const&, counter_choice const&,
                                   experiment_sort_of<record> const&);

run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          experiment_sort const& sort)
{
    return experiment_run_of<element>(n, seed, input, counters, sort);
}

run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          variant const& sort, item_type type)
{
    return with_item_type(type, [&](auto* none) {
        using T = std::remove_pointer_t<decltype(none)>;
        return experiment_run_of<T>(n, seed, input, counters, sort.sort_of<T>());
    });
}

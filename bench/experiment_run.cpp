#include "bench/experiment_run.hpp"

#include <exception>
#include <memory>
#include <sstream>

#include "measure/counter_error.hpp"
#include "measure/stopwatch.hpp"
#include "sort/sorted_stream.hpp"

namespace {

struct expectation {
    element key_sum;  // as the benchmark's own check keeps it: element 0, then every further key added
    content_checksum content;
};

expectation expect(element const* first, element const* last)
{
    expectation e;
    if (first != last) e.key_sum = *first;
    for (element const* i = first; i != last; ++i) {
        if (i != first) e.key_sum.key += i->key;
        e.content.add(*i);
    }
    return e;
}

std::string verdict(expectation const& expected, element const& key_sum, output_tally const& got)
{
    std::ostringstream findings;
    char const* separator = "";
    auto finding = [&]() -> std::ostream& {
        findings << separator;
        separator = "; ";
        return findings;
    };
    if (got.out_of_order != 0) finding() << got.out_of_order << " elements out of order";
    if (got.content.count != expected.content.count) {
        finding() << "element count " << got.content.count << " != " << expected.content.count;
    }
    if (key_sum.key != expected.key_sum.key) {
        finding() << "key checksum " << key_sum << " != " << expected.key_sum;
    }
    if (!got.content.same_content(expected.content)) {
        finding() << "content checksum " << got.content.mix_sum << '/' << got.content.mix_xor
                  << " != " << expected.content.mix_sum << '/' << expected.content.mix_xor;
    }
    std::string const text = findings.str();
    return text.empty() ? "ok" : text;
}

}  // namespace

run_result experiment_run(std::uint64_t n, std::uint64_t seed, input_source const& input, counter_choice const& counters,
                          experiment_sort const& sort)
{
    run_result result;
    // Measures with the counters, or without them when misses is null.
    auto measure = [&](stopwatch& watch, miss_counter* misses) {
        std::unique_ptr<element[]> data(new element[n]());
        input.fill(data.get(), data.get() + n, seed);
        expectation const expected = expect(data.get(), data.get() + n);

        sorted_stream<element> stream;
        output_tally tally;
        checked_output const into(stream, tally);

        // As in the benchmark's runs: only the sort is timed, the counters enclose the stopwatch.
        if (misses != nullptr) misses->start();
        watch.start();
        sort(data.get(), data.get() + n, into);
        watch.stop();
        if (misses != nullptr) misses->stop();
        data.reset();

        result.seconds = watch.total();
        result.measured = true;
        result.check = verdict(expected, stream.sum, tally);
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

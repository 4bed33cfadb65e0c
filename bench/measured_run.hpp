#pragma once
// One measured run of the benchmark: build n random elements, sort them once into a checking
// stream while the stopwatch and the miss counters run, verify the checksum, and write one run
// element of the report. The sort itself is a parameter: the fixed report passes the funnel
// variants of the registry (bench/variants.hpp).

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "bench/report_xml.hpp"
#include "bench/timed_interval.hpp"
#include "items/element.hpp"
#include "items/factory.hpp"
#include "measure/counter_error.hpp"
#include "measure/miss_counter.hpp"
#include "measure/stopwatch.hpp"
#include "sort/sorted_stream.hpp"

// Writes lines 3 to 8 of a run element to out: the head, then (inside the guarded section) the
// measurement of sort(first, last, stream iterator), and the closing tag. Every failure derived
// from std::exception is reported inside the element; the procedure always returns normally.
// algorithm is the text of the algorithm element: "Cached stack", "Not cached heap", ...
// Returns why the run failed or its checksum did not match (a counter failure in the library's
// own words, where the report keeps its plain text), or empty for a run that went well.
template <class Sort>
std::string measured_run(std::ostream& out, std::uint64_t n, std::string const& algorithm, Sort sort)
{
    std::string failure;
    write_run_head(out, n, algorithm);
    try {
        stopwatch watch;
        miss_counter misses;
        // Owned, so that a run failing part-way gives its input back too; value-initialised,
        // every element starts as key 0 with a null payload.
        std::unique_ptr<element[]> input(new element[n]());
        srand48(std::time(nullptr));

        // The checksum starts as element 0 and adds every further key, wrapping modulo 2^64.
        element checksum;
        if (n > 0) {
            input[0] = factory<element>::from_scalar(drand48());
            checksum = input[0];
        }
        for (std::uint64_t i = 1; i < n; ++i) {
            input[i] = factory<element>::from_scalar(drand48());
            checksum.key += input[i].key;
        }

        sorted_stream<element> stream;
        sorted_stream<element>::iterator const into(&stream);

        time_sort(watch, &misses, [&] { sort(input.get(), input.get() + n, into); });

        if (stream.sum.key != checksum.key) {
            std::ostringstream error;
            error << "Checksum error: " << stream.sum << " != " << checksum;
            failure = error.str();
            out << "\t\t<error>" << failure << "</error>" << std::endl;
        }
        input.reset();

        out << stopwatch::xt{watch.total(), measurement_indent, report_indent_char};
        miss_counter::counts const counts = misses.read();
        out << miss_counter::xt{counts.l2, counts.tlb, 0, report_indent_char} << std::endl;
        // Leaving the block destroys the miss counter, whose release can fail after the line is
        // complete; that failure is reported on the next line.
    } catch (counter_error const& e) {
        write_run_failure(out, e.what());
        failure = e.reason();
    } catch (std::exception const& e) {
        write_run_failure(out, e.what());
        failure = e.what();
    }
    write_run_end(out);
    return failure;
}

// The same with the algorithm element as the benchmark names it: "Cached" or "Not cached", then
// the allocator, "stack" or "heap".
template <class Sort>
std::string measured_run(std::ostream& out, std::uint64_t n, char const* algorithm, char const* label, Sort sort)
{
    return measured_run(out, n, std::string(algorithm) + ' ' + label, sort);
}

// compare_sorts: times the four funnel merge sort variants beside std::sort, std::stable_sort and
// pdqsort_branchless on the same inputs, and prints for every size each algorithm's time per element
// and its ratio to std::sort measured in the same run.
//
// Every algorithm delivers into the same checking output stream, so each timed interval holds a
// sort plus one pass of order checking and summing, and every result is verified after timing.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/sort/pdqsort/pdqsort.hpp>

#include "funnel/element_trees.hpp"
#include "funnel/tuning.hpp"
#include "items/element.hpp"
#include "items/factory.hpp"
#include "sort/sort_entry.hpp"
#include "sort/sorted_stream.hpp"

namespace {

using stream_iterator = sorted_stream<element>::iterator;
using sort_function = void (*)(element*, element*, stream_iterator);

struct algorithm {
    char const* name;
    sort_function sort;
};

template <class Tree, driver Which>
void funnel_sort(element* first, element* last, stream_iterator out)
{
    sort_entry<Tree>(Which, first, last, out);
}

void std_sort(element* first, element* last, stream_iterator out)
{
    std::sort(first, last);
    std::copy(first, last, out);
}

void std_stable_sort(element* first, element* last, stream_iterator out)
{
    std::stable_sort(first, last);
    std::copy(first, last, out);
}

void pdqsort_branchless(element* first, element* last, stream_iterator out)
{
    boost::sort::pdqsort_branchless(first, last);
    std::copy(first, last, out);
}

// std::sort comes first: it is the yardstick of every ratio.
constexpr char const* reference_name = "std::sort";
algorithm const algorithms[] = {
    {reference_name, std_sort},
    {"Cached stack", funnel_sort<funnel::stack_element_tree, driver::cached>},
    {"Cached heap", funnel_sort<funnel::heap_element_tree, driver::cached>},
    {"Not cached stack", funnel_sort<funnel::stack_element_tree, driver::uncached>},
    {"Not cached heap", funnel_sort<funnel::heap_element_tree, driver::uncached>},
    {"std::stable_sort", std_stable_sort},
    {"pdqsort_branchless", pdqsort_branchless},
};

// The benchmark's own six sizes, and small ones for a quick look.
constexpr std::uint64_t full_sizes[] = {480000, 960000, 1920000, 3840000, 7680000, 15360000};
constexpr std::uint64_t quick_sizes[] = {1000, 10000, 100000, 480000};

constexpr long input_seed = 20261208;

// One input per size, made once, so that every algorithm sorts the same items.
std::vector<element> const& uniform_input(std::uint64_t n)
{
    static std::map<std::uint64_t, std::vector<element>> inputs;
    std::vector<element>& input = inputs[n];
    if (input.empty()) {
        srand48(input_seed + static_cast<long>(n));
        input.resize(n);
        for (element& e : input) e = factory<element>::from_scalar(drand48());
    }
    return input;
}

std::uint64_t key_sum(std::vector<element> const& items)
{
    std::uint64_t sum = 0;
    for (element const& e : items) sum += e.key;
    return sum;
}

void time_sort(benchmark::State& state, sort_function sort)
{
    std::uint64_t const n = static_cast<std::uint64_t>(state.range(0));
    std::vector<element> const& input = uniform_input(n);
    std::uint64_t const expected = key_sum(input);
    std::vector<element> work(n);
    // Each iteration times only the sort, with a clock of its own: pausing the library's timer
    // would add its own cost to the small sizes.
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), work.begin());
        sorted_stream<element> stream;

        auto const start = std::chrono::steady_clock::now();
        sort(work.data(), work.data() + n, stream_iterator(&stream));
        auto const stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());

        if (stream.sum.key != expected) {
            state.SkipWithError("the sorted output does not hold the input's keys");
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}

// Keeps the console output of Google Benchmark and, at the end, prints per size the median time per
// element of every algorithm and its ratio to the median of std::sort.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (Run const& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            std::string const name = run.run_name.function_name;
            std::uint64_t const n = std::stoull(run.run_name.args);
            double const seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            times_[n][name].push_back(seconds * 1e9 / static_cast<double>(n));
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        out << "\nMedian time per element, and ratio to std::sort in this run\n";
        for (auto& [n, by_algorithm] : times_) {
            out << "\nn = " << n << "\n";
            auto const reference = by_algorithm.find(reference_name);
            for (algorithm const& a : algorithms) {
                auto const found = by_algorithm.find(a.name);
                if (found == by_algorithm.end()) continue;
                double const ns = median(found->second);
                out << "  " << std::left << std::setw(20) << a.name << std::right << std::fixed << std::setprecision(2)
                    << std::setw(9) << ns << " ns/element";
                if (reference != by_algorithm.end()) {
                    out << std::setw(9) << std::setprecision(3) << ns / median(reference->second) << " x std::sort";
                }
                out << "\n";
            }
        }
        out.flush();
    }

private:
    static double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        std::size_t const mid = values.size() / 2;
        return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    }

    std::map<std::uint64_t, std::map<std::string, std::vector<double>>> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    alpha = 4;
    d = 2.5f;

    // --quick: small sizes only. Every other flag is Google Benchmark's own
    // (--benchmark_repetitions, --benchmark_filter, --benchmark_format, --benchmark_out ...).
    bool quick = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    int benchmark_argc = static_cast<int>(args.size());

    std::vector<std::uint64_t> sizes;
    if (quick) {
        sizes.assign(std::begin(quick_sizes), std::end(quick_sizes));
    } else {
        sizes.assign(std::begin(full_sizes), std::end(full_sizes));
    }
    // Size-major order: all algorithms on one input before the next input is made.
    for (std::uint64_t n : sizes) {
        for (algorithm const& a : algorithms) {
            benchmark::RegisterBenchmark(a.name, time_sort, a.sort)
                ->Arg(static_cast<std::int64_t>(n))
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime();
        }
    }

    benchmark::Initialize(&benchmark_argc, args.data());
    if (benchmark::ReportUnrecognizedArguments(benchmark_argc, args.data())) return 2;
    ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

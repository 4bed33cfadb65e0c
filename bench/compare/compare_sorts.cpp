// compare_sorts: times the four funnel merge sort variants beside std::sort, std::stable_sort and
// pdqsort_branchless on the same inputs, and prints for every size each algorithm's time per element
// and its ratio to std::sort measured in the same run.
//
// Every algorithm delivers into the same checking output stream, so each timed interval holds a
// sort plus one pass of order checking and summing, and every result is verified after timing.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/sort/pdqsort/pdqsort.hpp>
#include <unistd.h>

#include "bench/variants.hpp"
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

// Wall-clock time by default. On a machine shared with other work a sort's wall time includes the
// time it waited for a processor; --clock=cpu times the process's processor time instead.
bool time_on_cpu_clock = false;

double seconds_now()
{
    if (time_on_cpu_clock) {
        timespec now;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
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

        double const start = seconds_now();
        sort(work.data(), work.data() + n, stream_iterator(&stream));
        state.SetIterationTime(seconds_now() - start);

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
        out << "\nMedian " << (time_on_cpu_clock ? "processor" : "wall-clock")
            << " time per element, and ratio to std::sort in this run\n";
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

// The pseudo-algorithm of --once that makes the input and its working copy and sorts nothing: what
// every single-sort run costs besides its sort.
constexpr char const* input_only_name = "input only";

// The algorithm of that display name, or of that variant name as corvane knows it ("cached-stack"
// is "Cached stack"), or null.
algorithm const* find_algorithm(std::string const& name)
{
    std::string display = name;
    if (variant const* v = find_variant(name)) display = std::string(v->algorithm) + " " + v->label;
    for (algorithm const& a : algorithms) {
        if (display == a.name) return &a;
    }
    return nullptr;
}

// Sorts the input of size n once with the named algorithm, outside Google Benchmark, so that a
// profiler or a cache simulator sees one sort and little else. Returns the exit status.
int sort_once(std::string const& name, std::uint64_t n)
{
    if (name == input_only_name) {
        std::vector<element> work = uniform_input(n);
        std::cout << input_only_name << ", n = " << n << ": key sum " << key_sum(work) << "\n";
        return 0;
    }
    if (algorithm const* a = find_algorithm(name)) {
        std::vector<element> work = uniform_input(n);
        sorted_stream<element> stream;
        a->sort(work.data(), work.data() + n, stream_iterator(&stream));
        bool const intact = stream.sum.key == key_sum(uniform_input(n));
        std::cout << a->name << ", n = " << n << ": " << (intact ? "sorted" : "keys lost") << "\n";
        return intact ? 0 : 1;
    }
    std::cerr << "unknown algorithm: " << name << "; one of:";
    for (algorithm const& a : algorithms) std::cerr << " '" << a.name << "'";
    std::cerr << " '" << input_only_name << "', or a variant name:";
    for (variant const& v : all_variants()) std::cerr << " " << v.name;
    std::cerr << "\n";
    return 2;
}

// The largest size --size accepts: as many elements as fit in the machine's memory. (A run holds
// the input and a working copy besides the sort's own space, so sizes near it may still fail.)
std::uint64_t largest_size()
{
    long const pages = sysconf(_SC_PHYS_PAGES);
    long const page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return std::vector<element>().max_size();
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size) / sizeof(element);
}

// Reads the value of --size: a plain decimal number from 1 to largest_size(). No sign, exponent or
// trailing text, so that a typo is refused rather than read as some other size.
bool parse_size(char const* text, std::uint64_t& n)
{
    char const* const end = text + std::strlen(text);
    std::uint64_t value = 0;
    auto const [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end || value == 0 || value > largest_size()) return false;
    n = value;
    return true;
}

// The value of a flag of the form --name=value, or null when arg is another flag.
char const* flag_value(char const* arg, char const* name)
{
    std::size_t const length = std::strlen(name);
    return std::strncmp(arg, name, length) == 0 && arg[length] == '=' ? arg + length + 1 : nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    alpha = 4;
    d = 2.5f;

    // --quick: small sizes only. --clock=cpu: processor time instead of wall-clock time.
    // --once=ALGORITHM --size=N: one sort of one input, untimed, for valgrind's tools; ALGORITHM is a
    // name of the table or of corvane's variants. Every other flag is Google Benchmark's own
    // (--benchmark_repetitions, --benchmark_filter, --benchmark_format, --benchmark_out ...).
    bool quick = false;
    char const* once = nullptr;
    std::uint64_t once_size = quick_sizes[0];
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (char const* value = flag_value(argv[i], "--clock")) {
            if (std::strcmp(value, "cpu") != 0 && std::strcmp(value, "wall") != 0) {
                std::cerr << "--clock takes cpu or wall\n";
                return 2;
            }
            time_on_cpu_clock = std::strcmp(value, "cpu") == 0;
        } else if (char const* value = flag_value(argv[i], "--once")) {
            once = value;
        } else if (char const* value = flag_value(argv[i], "--size")) {
            if (!parse_size(value, once_size)) {
                std::cerr << "--size takes a number of elements from 1 to " << largest_size() << ": " << value << "\n";
                return 2;
            }
        } else {
            args.push_back(argv[i]);
        }
    }
    if (once != nullptr) {
        try {
            return sort_once(once, once_size);
        } catch (std::bad_alloc const&) {
            std::cerr << "not enough memory to sort " << once_size << " elements\n";
            return 2;
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

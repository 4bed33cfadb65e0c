// compare_sorts: times the four funnel merge sort variants beside std::sort, std::stable_sort,
// pdqsort_branchless and Highway's vectorised quicksort (vqsort) on the same inputs, and prints for
// every input pattern and size each algorithm's time per element and its ratio to std::sort
// measured in the same run.
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
#include <hwy/base.h>
#include <hwy/contrib/sort/vqsort.h>
#include <unistd.h>

#include "bench/variants.hpp"
#include "funnel/element_trees.hpp"
#include "funnel/tuning.hpp"
#include "gen/input_patterns.hpp"
#include "items/element.hpp"
#include "sort/sort_entry.hpp"
#include "sort/sorted_stream.hpp"

namespace {

using stream_iterator = sorted_stream<element>::iterator;

// A sort that delivers into the checking stream, on an array of the items it works on.
template <class Item>
using sort_into = void (*)(Item* first, Item* last, stream_iterator out);

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

// Highway's vectorised quicksort sorts 16-byte pairs whose key is the second field. The fields swap
// back into elements on the way into the stream, as part of the timed copy out.
void highway_vqsort(hwy::K64V64* first, hwy::K64V64* last, stream_iterator out)
{
    // A sorter holds Highway's buffer; one for the whole run, as Highway advises for repeated sorts.
    static hwy::Sorter const sorter;
    sorter(first, static_cast<std::size_t>(last - first), hwy::SortAscending());
    for (; first != last; ++first, ++out) *out = element{first->key, reinterpret_cast<void*>(first->value)};
}

// The benchmark's own six sizes, and small ones for a quick look.
constexpr std::uint64_t full_sizes[] = {480000, 960000, 1920000, 3840000, 7680000, 15360000};
constexpr std::uint64_t quick_sizes[] = {1000, 10000, 100000, 480000};

constexpr long input_seed = 20261208;

// The input of one pattern and size that every algorithm sorts. Only the latest is kept: every
// pattern at the largest sizes would take gigabytes. Making one again gives the same items.
struct input_set {
    std::string pattern;
    std::vector<element> items;
    std::vector<hwy::K64V64> pairs;  // the same items in Highway's layout, made when first asked for
};

input_set& input_of(std::string const& pattern, std::uint64_t n)
{
    static input_set current;
    if (current.pattern == pattern && current.items.size() == n) return current;
    current = input_set{};  // frees the previous input before the next is made
    current.pattern = pattern;
    current.items.resize(n);
    srand48(input_seed + static_cast<long>(n));
    gen::fill_input(pattern, current.items.data(), current.items.data() + n);
    return current;
}

std::uint64_t key_sum(std::vector<element> const& items)
{
    std::uint64_t sum = 0;
    for (element const& e : items) sum += e.key;
    return sum;
}

// The input in the layout a sort works on.
template <class Item>
std::vector<Item> const& items_as(input_set& input);

template <>
std::vector<element> const& items_as<element>(input_set& input)
{
    return input.items;
}

template <>
std::vector<hwy::K64V64> const& items_as<hwy::K64V64>(input_set& input)
{
    if (input.pairs.size() != input.items.size()) {
        input.pairs.resize(input.items.size());
        for (std::size_t i = 0; i < input.items.size(); ++i) {
            input.pairs[i].key = input.items[i].key;
            input.pairs[i].value = reinterpret_cast<std::uintptr_t>(input.items[i].payload);
        }
    }
    return input.pairs;
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

// Benchmark: every iteration refreshes the working array from the input and times one sort.
template <class Item, sort_into<Item> Sort>
void time_sort(benchmark::State& state, std::string const& pattern)
{
    std::uint64_t const n = static_cast<std::uint64_t>(state.range(0));
    input_set& input = input_of(pattern, n);
    std::vector<Item> const& items = items_as<Item>(input);
    std::uint64_t const expected = key_sum(input.items);
    std::vector<Item> work(n);
    // Each iteration times only the sort, with a clock of its own: pausing the library's timer
    // would add its own cost to the small sizes.
    for (auto _ : state) {
        std::copy(items.begin(), items.end(), work.begin());
        sorted_stream<element> stream;

        double const start = seconds_now();
        Sort(work.data(), work.data() + n, stream_iterator(&stream));
        state.SetIterationTime(seconds_now() - start);

        if (stream.sum.key != expected) {
            state.SkipWithError("the sorted output does not hold the input's keys");
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}

// One sort of the input outside Google Benchmark; whether the output holds the input's keys.
template <class Item, sort_into<Item> Sort>
bool sort_once(std::string const& pattern, std::uint64_t n)
{
    input_set& input = input_of(pattern, n);
    std::vector<Item> work = items_as<Item>(input);
    sorted_stream<element> stream;
    Sort(work.data(), work.data() + n, stream_iterator(&stream));
    return stream.sum.key == key_sum(input.items);
}

struct algorithm {
    char const* name;
    void (*time)(benchmark::State& state, std::string const& pattern);
    bool (*once)(std::string const& pattern, std::uint64_t n);
};

template <class Item, sort_into<Item> Sort>
constexpr algorithm entry(char const* name)
{
    return {name, time_sort<Item, Sort>, sort_once<Item, Sort>};
}

// std::sort comes first: it is the yardstick of every ratio.
constexpr char const* reference_name = "std::sort";
algorithm const algorithms[] = {
    entry<element, std_sort>(reference_name),
    entry<element, funnel_sort<funnel::stack_element_tree, driver::cached>>("Cached stack"),
    entry<element, funnel_sort<funnel::heap_element_tree, driver::cached>>("Cached heap"),
    entry<element, funnel_sort<funnel::stack_element_tree, driver::uncached>>("Not cached stack"),
    entry<element, funnel_sort<funnel::heap_element_tree, driver::uncached>>("Not cached heap"),
    entry<element, std_stable_sort>("std::stable_sort"),
    entry<element, pdqsort_branchless>("pdqsort_branchless"),
    entry<hwy::K64V64, highway_vqsort>("Highway vqsort"),
};

// Benchmarks are named ALGORITHM/INPUT; Google Benchmark appends the size.
std::string benchmark_name(algorithm const& a, std::string const& pattern)
{
    return std::string(a.name) + "/" + pattern;
}

// Keeps the console output of Google Benchmark and, at the end, prints per input and size the
// median time per element of every algorithm and its ratio to the median of std::sort.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
    explicit ratio_reporter(std::vector<std::string> patterns) : patterns_(std::move(patterns)) {}

    void ReportRuns(std::vector<Run> const& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (Run const& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            std::string const& name = run.run_name.function_name;
            std::size_t const slash = name.rfind('/');
            std::uint64_t const n = std::stoull(run.run_name.args);
            double const seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            times_[name.substr(slash + 1)][n][name.substr(0, slash)].push_back(seconds * 1e9 / static_cast<double>(n));
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        out << "\nMedian " << (time_on_cpu_clock ? "processor" : "wall-clock")
            << " time per element, and ratio to std::sort in this run\n";
        for (std::string const& pattern : patterns_) {
            for (auto& [n, by_algorithm] : times_[pattern]) {
                out << "\ninput " << pattern << ", n = " << n << "\n";
                print_table(out, by_algorithm);
            }
        }
        out.flush();
    }

private:
    using times_by_algorithm = std::map<std::string, std::vector<double>>;

    static void print_table(std::ostream& out, times_by_algorithm const& by_algorithm)
    {
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

    static double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        std::size_t const mid = values.size() / 2;
        return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    }

    std::vector<std::string> patterns_;  // in the order given
    std::map<std::string, std::map<std::uint64_t, times_by_algorithm>> times_;
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
int run_once(std::string const& name, std::string const& pattern, std::uint64_t n)
{
    if (name == input_only_name) {
        std::vector<element> const work = input_of(pattern, n).items;
        std::cout << input_only_name << ", n = " << n << ": key sum " << key_sum(work) << "\n";
        return 0;
    }
    if (algorithm const* a = find_algorithm(name)) {
        bool const intact = a->once(pattern, n);
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

// Reads the value of --input: input pattern names separated by commas, or "all" for every one.
// Names are corvane's. Returns false, with a message, for an unknown or empty name.
bool parse_inputs(std::string const& text, std::vector<std::string>& patterns)
{
    if (text == "all") {
        patterns = gen::input_pattern_names();
        return true;
    }
    patterns.clear();
    std::size_t start = 0;
    while (true) {
        std::size_t const comma = text.find(',', start);
        std::string const name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!gen::is_input_pattern(name)) {
            std::cerr << "--input: unknown input '" << name << "'; one of:";
            for (std::string const& known : gen::input_pattern_names()) std::cerr << " " << known;
            std::cerr << ", several separated by commas, or all\n";
            return false;
        }
        patterns.push_back(name);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    alpha = 4;
    d = 2.5f;

    // --quick: small sizes only. --clock=cpu: processor time instead of wall-clock time.
    // --input=NAME[,NAME...] or --input=all: the input patterns, as corvane names them (default:
    // uniform). --once=ALGORITHM --size=N: one sort of one input, untimed, for valgrind's tools;
    // ALGORITHM is a name of the table or of corvane's variants. Every other flag is Google
    // Benchmark's own (--benchmark_repetitions, --benchmark_filter, --benchmark_format, ...).
    bool quick = false;
    std::vector<std::string> patterns = {"uniform"};
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
        } else if (char const* value = flag_value(argv[i], "--input")) {
            if (!parse_inputs(value, patterns)) return 2;
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
        if (patterns.size() != 1) {
            std::cerr << "--once sorts one input: give --input a single name\n";
            return 2;
        }
        try {
            return run_once(once, patterns.front(), once_size);
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
    // Input-major, then size-major order: all algorithms on one input before the next is made.
    for (std::string const& pattern : patterns) {
        for (std::uint64_t n : sizes) {
            for (algorithm const& a : algorithms) {
                benchmark::RegisterBenchmark(benchmark_name(a, pattern).c_str(), a.time, pattern)
                    ->Arg(static_cast<std::int64_t>(n))
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime();
            }
        }
    }

    benchmark::Initialize(&benchmark_argc, args.data());
    if (benchmark::ReportUnrecognizedArguments(benchmark_argc, args.data())) return 2;
    ratio_reporter reporter(patterns);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

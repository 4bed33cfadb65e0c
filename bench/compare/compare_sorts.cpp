// compare_sorts: times every sort of the registry (bench/variants.hpp), the four funnel merge sort
// variants beside std::sort, std::stable_sort, pdqsort_branchless and Highway's vectorised
// quicksort (vqsort), on the same inputs, and prints for every input pattern and size each
// sort's time per element and its ratio to std::sort measured in the same run.
//
// Every sort delivers into the same checked output as in corvane's experiments, so each timed
// interval holds a sort plus its delivery into that output, and every result is checked after
// timing.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/benchmark.hpp"
#include "bench/content_check.hpp"
#include "bench/experiment_options.hpp"
#include "bench/input_source.hpp"
#include "bench/statistics.hpp"
#include "bench/tuning_options.hpp"
#include "bench/variants.hpp"
#include "cli/count_argument.hpp"
#include "cli/out_of_memory.hpp"
#include "cli/standard_flags.hpp"
#include "funnel/tuning_globals.hpp"
#include "gen/input_patterns.hpp"
#include "items/element.hpp"
#include "items/record.hpp"

namespace {

// Beside the benchmark's own six sizes, small ones for a quick look.
constexpr std::uint64_t quick_sizes[] = {1000, 10000, 100000, 480000};

constexpr std::uint64_t input_seed = 20261208;

// The input of one pattern and size that every algorithm sorts. Only the latest is kept: every
// pattern at the largest sizes would take gigabytes. Making one again gives the same items.
template <class T>
struct input_set {
    std::string pattern;
    std::vector<T> items;
    expected_content_of<T> expected;  // what every sort of the items must deliver
};

template <class T>
input_set<T>& input_of(std::string const& pattern, std::uint64_t n)
{
    static input_set<T> current;
    if (current.pattern == pattern && current.items.size() == n) return current;
    current = input_set<T>{};  // frees the previous input before the next is made
    current.pattern = pattern;
    current.items.resize(n);
    // Drawn as corvane draws its inputs, every element's payload its index.
    input_source::pattern(pattern).fill(current.items.data(), current.items.data() + n, input_seed + n);
    current.expected = expected_content_of<T>::of(current.items.data(), current.items.data() + n);
    return current;
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

// Thrown out of a benchmark whose input, working copy or sort did not fit in memory: it ends the
// program, as every later size would fail too.
struct out_of_memory {
    std::uint64_t elements;
};

// Benchmark: every iteration refreshes the working array from the input and times one sort.
template <class T>
void time_sort(benchmark::State& state, variant const* sort, std::string const& pattern) try {
    std::uint64_t const n = static_cast<std::uint64_t>(state.range(0));
    input_set<T>& input = input_of<T>(pattern, n);
    sort_into<T> const sort_items = sort->sort_of<T>();
    std::vector<T> work(n);
    // One untimed sort first: otherwise whichever sort runs first on a fresh input measured up to
    // 15% slower at the small sizes than the same code run after it.
    std::copy(input.items.begin(), input.items.end(), work.begin());
    output_check_of<T> warm_up(input.expected);
    sort_items(work.data(), work.data() + n, warm_up.into());
    // Each iteration times only the sort, with a clock of its own: pausing the library's timer
    // would add its own cost to the small sizes.
    for (auto _ : state) {
        std::copy(input.items.begin(), input.items.end(), work.begin());
        output_check_of<T> check(input.expected);

        double const start = seconds_now();
        sort_items(work.data(), work.data() + n, check.into());
        state.SetIterationTime(seconds_now() - start);

        std::string const verdict = check.verdict();
        if (verdict != "ok") state.SkipWithError(("the sorted output is wrong: " + verdict).c_str());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
} catch (std::bad_alloc const&) {
    throw out_of_memory{static_cast<std::uint64_t>(state.range(0))};
}

// One sort of the input outside Google Benchmark: the check's verdict.
template <class T>
std::string sort_once(variant const& sort, std::string const& pattern, std::uint64_t n)
{
    input_set<T>& input = input_of<T>(pattern, n);
    std::vector<T> work = input.items;
    output_check_of<T> check(input.expected);
    sort.sort_of<T>()(work.data(), work.data() + n, check.into());
    return check.verdict();
}

// The input alone, made and copied as a sort's would be; returns its item count.
template <class T>
std::size_t input_only(std::string const& pattern, std::uint64_t n)
{
    std::vector<T> const work = input_of<T>(pattern, n).items;
    return work.size();
}

// std::sort is the yardstick of every ratio.
constexpr char const* reference_name = "std-sort";

// Benchmarks are named SORT/INPUT with the sort's display name; Google Benchmark appends the size.
std::string benchmark_name(variant const& v, std::string const& pattern)
{
    return std::string(v.display) + "/" + pattern;
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
            << " time per element, the interval that holds the median with the confidence given (order\n"
               "statistics), and the ratio of the medians to std::sort in this run\n";
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
        auto const reference = by_algorithm.find(find_variant(reference_name)->display);
        for (variant const& v : all_variants()) {
            auto const found = by_algorithm.find(v.display);
            if (found == by_algorithm.end()) continue;
            double const ns = median(found->second);
            median_interval const interval = median_confidence_interval(found->second);
            out << "  " << std::left << std::setw(20) << v.display << std::right << std::fixed << std::setprecision(2)
                << std::setw(9) << ns << " ns/element  [" << interval.low << ", " << interval.high << "] "
                << std::setprecision(1) << 100.0 * interval.confidence << "%";
            if (reference != by_algorithm.end()) {
                out << std::setw(9) << std::setprecision(3) << ns / median(reference->second) << " x std::sort";
            }
            out << "\n";
        }
    }

    std::vector<std::string> patterns_;  // in the order given
    std::map<std::string, std::map<std::uint64_t, times_by_algorithm>> times_;
};

// The pseudo-algorithm of --once that makes the input and its working copy and sorts nothing: what
// every single-sort run costs besides its sort.
constexpr char const* input_only_name = "input only";

// The sort of that display name or command-line name ("Cached stack" or "cached-stack"), or null.
variant const* find_sort(std::string const& name)
{
    for (variant const& v : all_variants()) {
        if (name == v.display || name == v.name) return &v;
    }
    return nullptr;
}

// Sorts the input of size n once with the named sort, outside Google Benchmark, so that a
// profiler or a cache simulator sees one sort and little else. Returns the exit status.
int run_once(std::string const& name, std::string const& pattern, std::uint64_t n, item_type type)
{
    if (name == input_only_name) {
        std::size_t const items = with_item_type(
            type, [&](auto* none) { return input_only<std::remove_pointer_t<decltype(none)>>(pattern, n); });
        std::cout << input_only_name << ", n = " << n << ": " << items << " elements\n";
        return 0;
    }
    if (variant const* v = find_sort(name)) {
        if (!v->sorts(type)) {
            std::cerr << "--type=" << item_type_name(type) << ": " << v->name << " does not sort "
                      << item_type_name(type) << " items\n";
            return 2;
        }
        std::string const verdict = with_item_type(
            type, [&](auto* none) { return sort_once<std::remove_pointer_t<decltype(none)>>(*v, pattern, n); });
        bool const intact = verdict == "ok";
        std::cout << v->display << ", n = " << n << ": " << (intact ? "sorted" : verdict) << "\n";
        return intact ? 0 : 1;
    }
    std::cerr << "unknown algorithm: " << name << "; one of:";
    for (variant const& v : all_variants()) std::cerr << " '" << v.display << "'";
    std::cerr << " '" << input_only_name << "', or a variant name:";
    for (variant const& v : all_variants()) std::cerr << " " << v.name;
    std::cerr << "\n";
    return 2;
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

// This program's own flags; --help follows them with Google Benchmark's.
void write_own_flags(std::ostream& out)
{
    out << "usage: compare_sorts [FLAG...]\n"
           "  --quick                 small sizes only\n"
           "  --size=N                the table at one size of N items\n"
           "  --input=NAME[,NAME...]  corvane's input patterns, or all (default: uniform)\n"
           "  --type=TYPE             the item type: " << item_type_names() << " (default: element)\n"
           "  --clock=cpu|wall        processor or wall-clock time (default: wall)\n"
           "  --once=ALGORITHM        one untimed sort of one input (--size, default the\n"
           "                          smallest quick size), for valgrind's tools\n"
           "  --version               the program's version and commit\n";
}

}  // namespace

// Reads one value of the funnel's tuning into the global the registry's funnel sorts read.
template <class T>
bool read_tuning(char const* option, char const* text, T (*parse)(std::string const&, std::string const&), T& into)
{
    try {
        into = parse(option, text);
        return true;
    } catch (std::invalid_argument const& e) {
        std::cerr << e.what() << "\n";
        return false;
    }
}

int main(int argc, char** argv)
{
    set_benchmark_tuning();

    // --quick: small sizes only. --clock=cpu: processor time instead of wall-clock time.
    // --input=NAME[,NAME...] or --input=all: the input patterns, as corvane names them (default:
    // uniform). --once=ALGORITHM --size=N: one sort of one input, untimed, for valgrind's tools;
    // ALGORITHM is a name of the table or of corvane's variants. --size=N alone: the table at
    // that one size. --type=TYPE: the item type, as
    // corvane names them (default: element). --alpha=A --d=D: the funnel's setting (default: 4 and
    // 2.5). Every other flag is Google
    // Benchmark's own (--benchmark_repetitions, --benchmark_filter, --benchmark_format, ...).
    bool quick = false;
    std::vector<std::string> patterns = {"uniform"};
    char const* once = nullptr;
    // --size's value; without it, --once sorts the smallest quick size.
    std::uint64_t chosen_size = quick_sizes[0];
    char const* size_text = nullptr;
    item_type type = item_type::element;
    std::vector<char*> args;
    // -h and --help: this program's flags, then Google Benchmark's, which it prints for --help.
    static char benchmark_help[] = "--help";
    for (int i = 1; i < argc; ++i) {
        if (cli::asks_for_help(argv[i])) {
            write_own_flags(std::cout);
            std::cout << "and Google Benchmark's flags:\n" << std::flush;
            char* help_args[] = {argv[0], benchmark_help};
            int help_argc = 2;
            benchmark::Initialize(&help_argc, help_args);
            return 0;
        }
        if (cli::asks_for_version(argv[i])) {
            cli::write_version(std::cout, "compare_sorts");
            return 0;
        }
    }
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
        } else if (char const* value = flag_value(argv[i], "--type")) {
            if (!find_item_type(value, type)) {
                std::cerr << "--type: '" << value << "' is not " << item_type_names() << "\n";
                return 2;
            }
        } else if (char const* value = flag_value(argv[i], "--alpha")) {
            if (!read_tuning("--alpha", value, parse_alpha, alpha)) return 2;
        } else if (char const* value = flag_value(argv[i], "--d")) {
            if (!read_tuning("--d", value, parse_d, d)) return 2;
        } else if (char const* value = flag_value(argv[i], "--once")) {
            once = value;
        } else if (char const* value = flag_value(argv[i], "--size")) {
            size_text = value;
        } else {
            args.push_back(argv[i]);
        }
    }
    // --size is read once the type is known: at most as many items of the type as corvane takes
    // on this machine, a plain decimal number, so that a typo is refused rather than read as some
    // other size.
    if (size_text != nullptr) {
        std::uint64_t const largest = largest_size(physical_memory_bytes(), type);
        std::optional<std::uint64_t> const size = cli::parse_count(size_text, largest);
        if (!size || *size == 0) {
            std::cerr << "--size takes a number of elements from 1 to " << largest << ": " << size_text << "\n";
            return 2;
        }
        chosen_size = *size;
    }
    // The sorts of the type, in the registry's order (the funnel variants sort every type); the
    // others are left out of the table.
    std::vector<variant const*> sorts;
    for (variant const& v : all_variants()) {
        if (v.sorts(type)) sorts.push_back(&v);
    }
    if (once != nullptr) {
        std::string const problem = tuning_problem(chosen_size, funnel::tuning{alpha, d}, type, physical_memory_bytes());
        if (!problem.empty()) {
            std::cerr << "--alpha/--d: " << problem << "\n";
            return 2;
        }
        if (patterns.size() != 1) {
            std::cerr << "--once sorts one input: give --input a single name\n";
            return 2;
        }
        try {
            return run_once(once, patterns.front(), chosen_size, type);
        } catch (std::bad_alloc const&) {
            std::cerr << "compare_sorts: " << cli::not_enough_memory(chosen_size, "elements") << "\n";
            return 1;
        }
    }
    int benchmark_argc = static_cast<int>(args.size());

    std::vector<std::uint64_t> sizes;
    if (size_text != nullptr) {
        sizes.push_back(chosen_size);
    } else if (quick) {
        sizes.assign(std::begin(quick_sizes), std::end(quick_sizes));
    } else {
        sizes = benchmark_sizes();
    }
    for (std::uint64_t const n : sizes) {
        std::string const problem = tuning_problem(n, funnel::tuning{alpha, d}, type, physical_memory_bytes());
        if (!problem.empty()) {
            std::cerr << "--alpha/--d: " << problem << "\n";
            return 2;
        }
    }
    // Input-major, then size-major order: all algorithms on one input before the next is made.
    for (std::string const& pattern : patterns) {
        for (std::uint64_t n : sizes) {
            for (variant const* v : sorts) {
                auto* const timed =
                    with_item_type(type, [](auto* none) { return &time_sort<std::remove_pointer_t<decltype(none)>>; });
                benchmark::RegisterBenchmark(benchmark_name(*v, pattern).c_str(), timed, v, pattern)
                    ->Arg(static_cast<std::int64_t>(n))
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime();
            }
        }
    }

    // The last --benchmark_format given decides, as in Google Benchmark itself: the ratio table
    // belongs to the console's output; json and csv are the library's own reporters'.
    bool console = true;
    for (char* arg : args) {
        if (char const* value = flag_value(arg, "--benchmark_format")) console = std::strcmp(value, "console") == 0;
    }
    benchmark::Initialize(&benchmark_argc, args.data());
    if (benchmark::ReportUnrecognizedArguments(benchmark_argc, args.data())) {
        write_own_flags(std::cerr);
        std::cerr << "and Google Benchmark's flags (compare_sorts --help lists them)\n";
        return 2;
    }
    ratio_reporter reporter(patterns);
    try {
        if (console) {
            benchmark::RunSpecifiedBenchmarks(&reporter);
        } else {
            benchmark::RunSpecifiedBenchmarks();
        }
    } catch (out_of_memory const& e) {
        std::cout.flush();
        std::cerr << "compare_sorts: " << cli::not_enough_memory(e.elements, "elements") << "\n";
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}

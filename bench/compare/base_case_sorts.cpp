// base_case_sorts: the base-case sort against std::sort and pdqsort_branchless on parts of the sizes
// the drivers sort directly (110 to 30,000 elements, which thresholds T from about 100 to 30,000 give),
// for each input shape and each set of inner loops this processor runs. Every part is checked
// against std::sort's result, payloads included; the program exits 1 on a difference.
//
// Each cell is the best of several timed passes over a batch of parts (about 512 KiB, so that it
// stays in the second-level cache), in nanoseconds per element, with its ratio to std::sort in
// the same run. The sorts take their passes in turn, so that a slow spell of a shared machine
// falls on all of them alike. A last table divides the fastest loops' time on random parts by
// log2 of the part size and compares it with that at 300 elements: a sort that scales as
// n log n keeps it at 1. A second table times the stable base case against std::stable_sort,
// whose result (payloads included) it must give.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <boost/sort/pdqsort/pdqsort.hpp>

#include "cli/out_of_memory.hpp"
#include "cli/standard_flags.hpp"
#include "items/element.hpp"
#include "sort/small_sort.hpp"
#include "sort/stable_small_sort.hpp"

namespace {

constexpr std::uint64_t batch_elements = 32768;
constexpr int passes = 40;
constexpr std::uint64_t part_sizes[] = {110, 220, 300, 600, 1000, 2000, 4000, 8000, 16000, 30000};
// The part size the growth table compares with.
constexpr std::uint64_t reference_size = 300;

struct shape {
    char const* name;
    std::function<std::uint64_t(std::uint64_t i, std::uint64_t n, std::mt19937_64& random)> key;
};

std::vector<shape> const& shapes()
{
    static std::vector<shape> const all = {
        {"random", [](std::uint64_t, std::uint64_t, std::mt19937_64& random) { return random(); }},
        {"sorted", [](std::uint64_t i, std::uint64_t, std::mt19937_64&) { return 1000 * i; }},
        {"reversed", [](std::uint64_t i, std::uint64_t n, std::mt19937_64&) { return 1000 * (n - i); }},
        {"equal", [](std::uint64_t, std::uint64_t, std::mt19937_64&) { return std::uint64_t{42}; }},
        {"few-distinct", [](std::uint64_t, std::uint64_t, std::mt19937_64& random) { return random() % 8; }},
        // About n / 24 pairs of equal keys per part, as parts of 300 of the benchmark's
        // few-distinct-sqrt input have at 15,360,000 elements.
        {"some-equal", [](std::uint64_t, std::uint64_t n, std::mt19937_64& random) { return random() % (12 * n); }},
        {"sorted-dups", [](std::uint64_t i, std::uint64_t, std::mt19937_64&) { return i / 3; }},
        {"organ", [](std::uint64_t i, std::uint64_t n, std::mt19937_64&) { return std::min(i, n - i); }},
    };
    return all;
}

struct sorter {
    std::string name;
    std::function<void(element*, element*)> sort;
    // Its result must be the table's reference sort's (std::sort, or std::stable_sort in the stable
    // table); pdqsort_branchless gives another order of equal keys.
    bool checked;
};

std::vector<sorter> sorters()
{
    using small_sort_detail::kernel;
    std::vector<sorter> all = {
        {"std::sort", [](element* first, element* last) { std::sort(first, last); }, true},
        {"pdqsort_branchless", [](element* first, element* last) { boost::sort::pdqsort_branchless(first, last); },
         false},
        {"portable",
         [](element* first, element* last) { small_sort_detail::small_sort_with(kernel::portable, first, last); },
         true},
    };
    if (small_sort_detail::avx2_available()) {
        all.push_back({"AVX2",
                       [](element* first, element* last) {
                           small_sort_detail::small_sort_with(kernel::avx2, first, last);
                       },
                       true});
    }
    if (small_sort_detail::avx512_available()) {
        all.push_back({"AVX-512",
                       [](element* first, element* last) {
                           small_sort_detail::small_sort_with(kernel::avx512, first, last);
                       },
                       true});
    }
    return all;
}

// Best time of one pass over the batch for each sort, in nanoseconds per element; the sorts take
// their passes in turn.
std::vector<double> times_per_element(std::vector<sorter> const& all, std::vector<element> const& input,
                                      std::uint64_t n)
{
    std::vector<element> work(input.size());
    std::vector<double> best(all.size(), 1e300);
    for (int pass = 0; pass < passes; ++pass) {
        for (std::size_t s = 0; s < all.size(); ++s) {
            std::copy(input.begin(), input.end(), work.begin());
            auto const start = std::chrono::steady_clock::now();
            for (std::uint64_t part = 0; part + n <= work.size(); part += n) {
                all[s].sort(work.data() + part, work.data() + part + n);
            }
            std::chrono::duration<double, std::nano> const took = std::chrono::steady_clock::now() - start;
            best[s] = std::min(best[s], took.count() / static_cast<double>(work.size()));
        }
    }
    return best;
}

// Whether s sorts every part of n elements of input exactly as reference does.
template <class Reference>
bool same_as(sorter const& s, std::vector<element> const& input, std::uint64_t n, Reference reference)
{
    std::vector<element> expected = input;
    std::vector<element> got = input;
    for (std::uint64_t part = 0; part + n <= input.size(); part += n) {
        reference(expected.data() + part, expected.data() + part + n);
        s.sort(got.data() + part, got.data() + part + n);
    }
    return std::equal(expected.begin(), expected.end(), got.begin(),
                      [](element const& a, element const& b) { return a.key == b.key && a.payload == b.payload; });
}

// The batch of parts of n elements of shape sh, payloads numbering the elements.
std::vector<element> batch_of(shape const& sh, std::uint64_t n)
{
    std::mt19937_64 random(n);
    std::vector<element> input(batch_elements / n * n);
    for (std::uint64_t i = 0; i < input.size(); ++i) {
        auto* const payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(i));
        input[i] = element{sh.key(i % n, n, random), payload};
    }
    return input;
}

// Prints a table of every sorter's time on every shape and part size, after checking each checked
// sorter against reference (named reference_name) on that input; false on a difference. The
// last sorter's times on random parts, the first shape, go to last_on_random.
template <class Reference>
bool print_table(char const* title, std::vector<sorter> const& all, char const* reference_name, Reference reference,
                 std::vector<double>& last_on_random)
{
    std::printf("%s\n%-13s %5s", title, "shape", "n");
    for (sorter const& s : all) {
        std::printf(" %18s", s.name.c_str());
    }
    std::printf("\n");
    for (shape const& sh : shapes()) {
        for (std::uint64_t n : part_sizes) {
            std::vector<element> const input = batch_of(sh, n);
            for (sorter const& s : all) {
                if (s.checked && !same_as(s, input, n, reference)) {
                    std::printf("\n%s differs from %s on %s parts of %lu\n", s.name.c_str(), reference_name, sh.name,
                                static_cast<unsigned long>(n));
                    return false;
                }
            }
            std::vector<double> const t = times_per_element(all, input, n);
            std::printf("%-13s %5lu", sh.name, static_cast<unsigned long>(n));
            for (double ti : t) {
                std::printf(" %8.2f (%6.3f)", ti, ti / t.front());
            }
            std::printf("\n");
            if (&sh == &shapes().front()) {
                last_on_random.push_back(t.back());
            }
        }
    }
    return true;
}

// Times every sorter on every shape and part size, then the stable base case with the fastest
// inner loops against std::stable_sort; the exit status.
int run_tables()
{
    std::vector<sorter> const all = sorters();
    // The last sort's time on random parts of each size, for the growth table.
    std::vector<double> fastest_random;
    if (!print_table("ns per element (ratio to std::sort in this run)", all, "std::sort",
                     [](element* first, element* last) { std::sort(first, last); }, fastest_random)) {
        return 1;
    }
    std::size_t const reference =
        static_cast<std::size_t>(std::find(std::begin(part_sizes), std::end(part_sizes), reference_size) -
                                 std::begin(part_sizes));
    double const reference_per_log = fastest_random[reference] / std::log2(static_cast<double>(reference_size));
    std::printf("\n%s on random parts: ns per element per log2(n), and its ratio to n = %lu\n",
                all.back().name.c_str(), static_cast<unsigned long>(reference_size));
    for (std::size_t i = 0; i < fastest_random.size(); ++i) {
        double const per_log = fastest_random[i] / std::log2(static_cast<double>(part_sizes[i]));
        std::printf("%5lu %8.3f (%6.3f)\n", static_cast<unsigned long>(part_sizes[i]), per_log,
                    per_log / reference_per_log);
    }

    auto const stable_sort = [](element* first, element* last) { std::stable_sort(first, last); };
    std::vector<sorter> const stable = {
        {"std::stable_sort", stable_sort, false},
        {"stable base case", [](element* first, element* last) { stable_small_sort(first, last); }, true}};
    std::vector<double> unused;
    bool const same = print_table("\nstable base case: ns per element (ratio to std::stable_sort in this run)", stable,
                                  "std::stable_sort", stable_sort, unused);
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && cli::asks_for_help(argv[1])) {
        std::puts("usage: base_case_sorts");
        return 0;
    }
    if (argc == 2 && cli::asks_for_version(argv[1])) {
        cli::write_version(std::cout, "base_case_sorts");
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "base_case_sorts: unknown argument '%s'\nusage: base_case_sorts\n", argv[1]);
        return 2;
    }
    try {
        return run_tables();
    } catch (std::bad_alloc const&) {
        std::fprintf(stderr, "base_case_sorts: %s\n",
                     cli::not_enough_memory(batch_elements, "elements").c_str());
        return 1;
    }
}

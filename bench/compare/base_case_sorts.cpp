// base_case_sorts: the base-case sort against std::sort on parts of the sizes the drivers sort
// directly, for each input shape and each set of inner loops this processor runs. Every part is
// checked against std::sort's result, payloads included; the program exits 1 on a difference.
//
// Each cell is the best of several timed passes over a batch of parts (about 512 KiB, so that it
// stays in the second-level cache), in nanoseconds per element, with its ratio to std::sort in
// the same run.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "cli/out_of_memory.hpp"
#include "items/element.hpp"
#include "sort/small_sort.hpp"

namespace {

constexpr std::uint64_t batch_elements = 32768;
constexpr int passes = 40;

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
        {"sorted-dups", [](std::uint64_t i, std::uint64_t, std::mt19937_64&) { return i / 3; }},
        {"organ", [](std::uint64_t i, std::uint64_t n, std::mt19937_64&) { return std::min(i, n - i); }},
    };
    return all;
}

struct sorter {
    std::string name;
    std::function<void(element*, element*)> sort;
};

std::vector<sorter> sorters()
{
    using small_sort_detail::kernel;
    std::vector<sorter> all = {
        {"std::sort", [](element* first, element* last) { std::sort(first, last); }},
        {"portable",
         [](element* first, element* last) { small_sort_detail::small_sort_with(kernel::portable, first, last); }},
    };
    if (small_sort_detail::avx2_available()) {
        all.push_back({"AVX2", [](element* first, element* last) {
                           small_sort_detail::small_sort_with(kernel::avx2, first, last);
                       }});
    }
    if (small_sort_detail::avx512_available()) {
        all.push_back({"AVX-512", [](element* first, element* last) {
                           small_sort_detail::small_sort_with(kernel::avx512, first, last);
                       }});
    }
    return all;
}

// Best time of one pass over the batch, in nanoseconds per element.
double time_per_element(sorter const& s, std::vector<element> const& input, std::uint64_t n)
{
    std::vector<element> work(input.size());
    double best = 1e300;
    for (int pass = 0; pass < passes; ++pass) {
        std::copy(input.begin(), input.end(), work.begin());
        auto const start = std::chrono::steady_clock::now();
        for (std::uint64_t part = 0; part + n <= work.size(); part += n) {
            s.sort(work.data() + part, work.data() + part + n);
        }
        std::chrono::duration<double, std::nano> const took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / static_cast<double>(work.size()));
    }
    return best;
}

bool same_as_std_sort(sorter const& s, std::vector<element> const& input, std::uint64_t n)
{
    std::vector<element> expected = input;
    std::vector<element> got = input;
    for (std::uint64_t part = 0; part + n <= input.size(); part += n) {
        std::sort(expected.data() + part, expected.data() + part + n);
        s.sort(got.data() + part, got.data() + part + n);
    }
    return std::equal(expected.begin(), expected.end(), got.begin(),
                      [](element const& a, element const& b) { return a.key == b.key && a.payload == b.payload; });
}

// Times every sorter on every shape and part size; the exit status.
int run_table()
{
    std::vector<sorter> const all = sorters();
    std::printf("ns per element (ratio to std::sort in this run)\n%-13s %5s", "shape", "n");
    for (sorter const& s : all) {
        std::printf(" %18s", s.name.c_str());
    }
    std::printf("\n");
    for (shape const& sh : shapes()) {
        for (std::uint64_t n : {110u, 160u, 220u, 320u}) {
            std::mt19937_64 random(n);
            std::vector<element> input(batch_elements / n * n);
            for (std::uint64_t i = 0; i < input.size(); ++i) {
                auto* const payload = reinterpret_cast<void*>(static_cast<std::uintptr_t>(i));
                input[i] = element{sh.key(i % n, n, random), payload};
            }
            std::printf("%-13s %5lu", sh.name, static_cast<unsigned long>(n));
            double const reference = time_per_element(all.front(), input, n);
            for (sorter const& s : all) {
                if (!same_as_std_sort(s, input, n)) {
                    std::printf("\n%s differs from std::sort on %s parts of %lu\n", s.name.c_str(), sh.name,
                                static_cast<unsigned long>(n));
                    return 1;
                }
                double const t = &s == &all.front() ? reference : time_per_element(s, input, n);
                std::printf(" %8.2f (%6.3f)", t, t / reference);
            }
            std::printf("\n");
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        std::fprintf(stderr, "base_case_sorts: unknown argument '%s'\nusage: base_case_sorts\n", argv[1]);
        return 2;
    }
    try {
        return run_table();
    } catch (std::bad_alloc const&) {
        std::fprintf(stderr, "base_case_sorts: %s\n",
                     cli::not_enough_memory(batch_elements, "elements").c_str());
        return 1;
    }
}

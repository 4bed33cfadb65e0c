#pragma once
// The command line of an experiment. Any argument makes corvane run an experiment instead of
// its fixed report; every option is checked before anything is written, and a bad one is a
// usage_error whose text says what is wrong.

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/cache_simulation.hpp"
#include "bench/variants.hpp"
#include "funnel/tuning.hpp"
#include "items/element.hpp"
#include "measure/counter_choice.hpp"
#include "measure/memory_limit.hpp"

enum class report_format { xml, csv, json };

struct experiment_options {
    counter_mode counters = counter_mode::automatic;
    std::vector<std::uint64_t> sizes;      // the benchmark's sizes, or the whole input file, unless given
    std::vector<variant const*> variants;  // the four funnel variants in the benchmark's order unless given
    item_type type = item_type::element;
    // As given: the variants named on their own (each must sort the type).
    std::vector<variant const*> named_variants;
    std::uint32_t repeat = 1;
    // K, the sorts one measurement times; 0: enough for about 10 ms, from the warm-up of each size.
    std::uint64_t sorts_per_measurement = 0;
    bool seeded = false;  // without a seed the inputs are seeded from the clock
    std::uint64_t seed = 0;
    std::string input = "uniform";
    std::string input_file;  // empty: the inputs are drawn in memory
    report_format format = report_format::xml;
    // For simulated counters: valgrind and the geometry, the machine's unless given by options.
    simulation_setup simulation;
    // --storage=mapped: every run's large arrays in scratch files under scratch_dir, mapped shared.
    bool mapped = false;
    std::string scratch_dir = "/var/tmp";
    // --memory-limit: every run in a child process confined to a memory cgroup of this many bytes;
    // 0 for none. memory_limit_text is the value as given ("256M"), for messages.
    std::uint64_t memory_limit = 0;
    std::string memory_limit_text;
    // Set by the hidden --simulated-run=SEED: this process is the child of one simulated run.
    bool simulated_child = false;
    std::uint64_t child_seed = 0;
    // The funnel variants run at every alpha with every d, alpha the outer loop.
    std::vector<std::int32_t> alphas{funnel::default_tuning.alpha};
    std::vector<float> ds{funnel::default_tuning.d};

    std::vector<funnel::tuning> tunings() const
    {
        std::vector<funnel::tuning> all;
        for (std::int32_t const alpha : alphas) {
            for (float const d : ds) all.push_back({alpha, d});
        }
        return all;
    }
};

class usage_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An experiment run needs, per item, the input array and as much again for the sort's scratch
// arrays and merge trees.
constexpr std::uint64_t arrays_per_item = 2;

// With mapped storage a run needs, per item, its input, the funnel's output and as much again at
// most for the funnel's pool, in files.
constexpr std::uint64_t mapped_arrays_per_item = 3;

// The largest size of items of the type that fits into memory_bytes.
inline std::uint64_t largest_size(std::uint64_t memory_bytes, item_type type = item_type::element)
{
    return memory_bytes / (arrays_per_item * item_size(type));
}

// Reads args (without the program name). Sizes above largest_size(memory.bytes) are refused, the
// refusal naming what sets the limit. Simulated counters take valgrind and the cache geometry from
// machine, and are refused when valgrind is missing or the simulator cannot model the geometry.
experiment_options parse_options(std::vector<std::string> const& args, memory_limit const& memory,
                                 simulation_setup const& machine);
// The same with this machine's setup.
experiment_options parse_options(std::vector<std::string> const& args, memory_limit const& memory);

void write_usage(std::ostream& out);

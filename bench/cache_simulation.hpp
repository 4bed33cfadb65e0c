#pragma once
// Simulated cache misses of one experiment run. corvane runs itself again, under valgrind's
// callgrind with its cache simulator, in a child that makes the same input from the same seed
// and sorts it once with the instrumentation switched on around the sort alone; the dump of that
// interval gives the data misses of the first level and of the last level. The simulator's last
// level is given the level-2 geometry, so its misses are what the report calls l2misses.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bench/input_source.hpp"
#include "bench/variants.hpp"
#include "funnel/tuning.hpp"
#include "measure/cache_geometry.hpp"

struct simulation_setup {
    std::string valgrind;  // the program's path; empty where valgrind is missing
    cache_geometry l1;     // the first-level data cache
    cache_geometry l2;     // the second level, simulated as valgrind's last level
    // The level whose misses are set against the model's bound: the second, unless the sizes of
    // the first are swept. swept_sizes: the sizes that level takes, each in runs of its own;
    // empty where it has one size.
    std::uint32_t bound_level = 2;
    std::vector<std::uint64_t> swept_sizes{};
};

// valgrind from PATH and both levels as /sys/devices/system/cpu/cpu0/cache describes them, or else as
// the processor tells the C library.
simulation_setup machine_simulation_setup();

// The path of the executable name in one of the colon-separated folders of path_list, or empty.
std::string find_program(std::string const& name, std::string const& path_list);

struct simulated_counts {
    bool counted = false;
    std::int64_t l1 = 0;  // data misses, reads and writes
    std::int64_t l2 = 0;
    std::string check;  // the simulated run's own verdict: "ok" or what its check found
    std::string error;  // why nothing was counted
};

// The data misses in the text of one callgrind dump: D1mr + D1mw and DLmr + DLmw of its totals.
// false when the dump names no such events or has no totals.
bool read_callgrind_dump(std::string const& text, std::int64_t& l1, std::int64_t& l2);

// The line of a valgrind log that says why valgrind stopped (an option it refused, a geometry its
// tool cannot take, an instruction it does not know), without its process-id prefix; empty when
// the log holds none.
std::string valgrind_error(std::string const& log);

// A path as valgrind's file options take it literally: valgrind expands %p, %q{VAR} and %n in
// them, and reads %% as one %, so a folder name with a % in it (from TMPDIR, say) is doubled.
std::string valgrind_file_name(std::string const& path);

// The hidden options that make corvane the child of one run; a funnel variant sorts at tuning t.
std::vector<std::string> simulated_run_arguments(std::uint64_t n, variant const& sort, item_type type,
                                                 std::uint64_t seed, input_source const& input,
                                                 funnel::tuning t = funnel::default_tuning);

// Whether simulated runs can work here, tried once before the first: a folder can be made in
// TMPDIR (else /tmp), and valgrind with the runs' tool and geometry runs this program's --help
// (about a second). Returns why not, naming the folder or quoting valgrind's error; empty when
// they can.
std::string simulation_problem(simulation_setup const& setup);

// Runs the child of one run under the simulator and collects its counts. Everything the child
// writes goes to a private temporary folder, removed again whatever happened. A stop signal
// (stop_signals.hpp) kills and reaps the child; the error then says "interrupted".
simulated_counts simulate_run(simulation_setup const& setup, std::vector<std::string> const& child_arguments);

// The child's part: one checked run of the variant's sort of the item type with the
// instrumentation around the sort; writes "check: " and the verdict, or "error: " and the
// failure, on out.
void run_simulated_child(std::uint64_t n, std::uint64_t seed, input_source const& input, variant const& sort,
                         item_type type, std::ostream& out);

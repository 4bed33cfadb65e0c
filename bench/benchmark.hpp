#pragma once
// The benchmark's report document: the head, four runs for every problem size, the closing tag.

#include <cstdint>
#include <ostream>
#include <vector>

#include "funnel/tuning.hpp"
#include "measure/sys_names.hpp"

// The problem sizes of the benchmark, in the order they are run: 120000 times 4, 8, ..., 128.
std::vector<std::uint64_t> benchmark_sizes();

// Sets the funnel's tuning globals, which every funnel run of the benchmark sorts at.
void set_tuning(funnel::tuning t);

// Sets them to the benchmark's values, alpha = 4 and d = 2.5.
void set_benchmark_tuning();

// How many runs an experiment or the benchmark made, and how many of them failed or failed
// their check.
struct run_tally {
    std::uint64_t runs = 0;
    std::uint64_t failed = 0;
};

// Writes the whole document to out, dated `started`. Sets the funnel's tuning globals
// (alpha = 4, d = 2.5) after the head, then runs, for every size in turn: cached over the pool,
// cached over the heap, uncached over the pool, uncached over the heap. Stops after the size
// during which out failed. Each run that fails also gets a line on diagnostics with its reason
// in full (the report keeps its fixed text).
run_tally write_benchmark(std::ostream& out, local_time started, std::vector<std::uint64_t> const& sizes,
                          std::ostream& diagnostics);

#pragma once
// An experiment: the runs the options ask for. The (size, repetition) pairs, and the variants
// within each, run in an order shuffled by the experiment's seed; the variants of one pair sort
// the same input one after the other. Each size starts with a warm-up of every variant, which
// also fixes how many sorts one measurement of the size holds.

#include <cstdint>
#include <ostream>

#include "bench/benchmark.hpp"
#include "bench/experiment_options.hpp"
#include "measure/counter_library.hpp"
#include "measure/sys_names.hpp"

// The seed of the input of every run of size n in repetition (from 1): the same for every
// variant, different from one repetition to the next, and fixed by the experiment's seed.
std::uint64_t run_seed(std::uint64_t experiment_seed, std::uint64_t n, std::uint32_t repetition);

// Writes the report to out and one line per run to progress. lib is the initialised counter
// library, or null where there is none. An input file is opened before anything is written; a
// file that cannot be read raises input_file_error (input_source.hpp), which ends the
// experiment once the run under way is closed with its text and the document is closed. A stop
// signal (stop_signals.hpp) ends it too: the run under way is closed with the error
// "interrupted" (what it measured stays), then the document. So does a report that can no longer
// be written: the runs stop with it, and the caller tells from out's state. A memory limit whose
// cgroup cannot be made raises cgroup_error before anything is written. Returns how many runs
// there were and how many failed or failed their check.
run_tally run_experiment(experiment_options const& options, std::ostream& out, std::ostream& progress, local_time started,
                    counter_library const* lib);

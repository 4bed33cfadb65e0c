#include "bench/corvane_main.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bench/benchmark.hpp"
#include "bench/cache_simulation.hpp"
#include "bench/experiment.hpp"
#include "bench/experiment_options.hpp"
#include "bench/input_source.hpp"
#include "bench/memory_cgroup.hpp"
#include "bench/report_output.hpp"
#include "bench/stop_signals.hpp"
#include "cli/standard_flags.hpp"
#include "measure/counter_choice.hpp"
#include "measure/miss_counter.hpp"
#include "measure/sys_names.hpp"

namespace {

constexpr int usage_status = 2;
// The report is complete, but some of its runs failed or failed their check.
constexpr int failed_runs_status = 3;

// A report lost to a full disk or a size limit must not look like success. The stream fails
// on the write or the flush that did not get through.
int report_status(std::ostream& out, std::ostream& err)
{
    out.flush();
    if (out) return EXIT_SUCCESS;
    err << "corvane: the report could not be written to standard output";
    std::string const reason = report_failure_reason(out);
    if (!reason.empty()) err << ": " << reason;
    err << std::endl;
    return EXIT_FAILURE;
}

void write_failed_runs(std::ostream& err, run_tally const& tally)
{
    if (tally.failed > 0) err << "corvane: " << tally.failed << " of " << tally.runs << " runs failed" << std::endl;
}

}  // namespace

int corvane_main(std::vector<std::string> const& args, std::ostream& out, std::ostream& err,
                 counter_library const& lib)
{
    // The report's date is the moment the benchmark started, taken before anything is written.
    local_time const started(std::time(nullptr));
    if (args.empty()) {
        counter_start const counters = start_counter_library(lib);
        if (counters.library == nullptr) {
            err << "The counter library could not be initialised: " << counters.failure << std::endl;
            return EXIT_FAILURE;
        }
        // Its callers rely on status 0 for a complete document, failed runs or not.
        run_tally const tally = write_benchmark(out, started, benchmark_sizes(), err);
        int const status = report_status(out, err);
        if (status == EXIT_SUCCESS) write_failed_runs(err, tally);
        return status;
    }

    if (std::any_of(args.begin(), args.end(), [](std::string const& arg) { return cli::asks_for_help(arg); })) {
        write_usage(out);
        return report_status(out, err);
    }
    if (std::find(args.begin(), args.end(), "--version") != args.end()) {
        cli::write_version(out, "corvane");
        return report_status(out, err);
    }
    auto const refuse = [&err](std::string const& why) {
        err << "corvane: " << why << std::endl;
        write_usage(err);
        return usage_status;
    };
    experiment_options options;
    try {
        options = parse_options(args, process_memory_limit());
    } catch (usage_error const& e) {
        return refuse(e.what());
    }
    // The simulated run's child keeps the signals' default actions: its parent stops it.
    if (!options.simulated_child) catch_stop_signals();
    // Once, rather than every run failing the same way.
    if (options.counters == counter_mode::simulated && !options.simulated_child) {
        std::string const problem = simulation_problem(options.simulation);
        if (!problem.empty()) return refuse("--counters=simulated: " + problem);
    }
    // Without the library an experiment still has its times; the report says why it has no counts.
    // An experiment that counts nothing leaves the library alone: it is not even initialised. Nor
    // does the simulated run corvane starts under valgrind for each of its runs: the simulator
    // counts there.
    counter_library const* started_library = nullptr;
    if (options.counters != counter_mode::none && !options.simulated_child) {
        started_library = start_counter_library(lib).library;
    }
    run_tally tally;
    try {
        tally = run_experiment(options, out, err, started, started_library);
    } catch (input_file_error const& e) {
        err << "corvane: " << e.what() << std::endl;
        return EXIT_FAILURE;
    } catch (cgroup_error const& e) {
        err << "corvane: --memory-limit: " << e.what() << std::endl;
        return usage_status;
    }
    int const status = report_status(out, err);
    if (stop_signal() != 0) {
        err << "corvane: stopped by signal " << stop_signal() << " (" << strsignal(stop_signal()) << ") after "
            << tally.runs << " runs; the report is closed" << std::endl;
        return 128 + stop_signal();
    }
    if (status != EXIT_SUCCESS) return status;
    write_failed_runs(err, tally);
    return tally.failed > 0 ? failed_runs_status : EXIT_SUCCESS;
}

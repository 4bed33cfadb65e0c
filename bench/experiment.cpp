#include "bench/experiment.hpp"

#include <ctime>

#include "bench/benchmark.hpp"
#include "bench/experiment_report.hpp"
#include "bench/experiment_run.hpp"
#include "bench/input_source.hpp"

namespace {

// The finaliser of splitmix64: nearby arguments give unrelated results.
std::uint64_t scramble(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9;
    x = (x ^ (x >> 27)) * 0x94d049bb133111eb;
    return x ^ (x >> 31);
}

void write_progress(std::ostream& progress, std::uint64_t done, std::uint64_t runs, run_id const& id,
                    std::uint32_t repeat, run_result const& result)
{
    progress << "corvane: run " << done << '/' << runs << ": " << id.n << " elements, " << id.sort->name
             << ", repetition " << id.repetition << '/' << repeat;
    if (result.measured) progress << ": " << result.seconds << " s, check " << result.check;
    if (!result.error.empty()) progress << ": failed: " << result.error;
    progress << std::endl;
}

}  // namespace

std::uint64_t run_seed(std::uint64_t experiment_seed, std::uint64_t n, std::uint32_t repetition)
{
    return scramble(experiment_seed ^ scramble(n ^ scramble(repetition)));
}

void run_experiment(experiment_options const& options, std::ostream& out, std::ostream& progress, local_time started,
                    counter_library const* lib)
{
    experiment_head head{started, choose_counters(options.counters, lib), options.input, false, options.seed,
                         options.repeat};
    input_source const input =
        options.input_file.empty() ? input_source::pattern(options.input) : input_source::file(options.input_file);
    head.input = input.name();
    head.from_file = input.is_file();
    if (!options.seeded) head.seed = static_cast<std::uint64_t>(std::time(nullptr));

    std::unique_ptr<experiment_report> const report =
        options.format == report_format::csv ? make_csv_report(out, head) : make_xml_report(out, head);
    progress << "corvane: counters: " << counter_status(head.counters) << "; virtualized: "
             << virtualization_name(head.counters.machine) << std::endl;

    report->begin();
    set_benchmark_tuning();
    std::uint64_t const runs = options.sizes.size() * options.repeat * options.variants.size();
    std::uint64_t done = 0;
    for (std::uint64_t const n : options.sizes) {
        for (std::uint32_t repetition = 1; repetition <= options.repeat; ++repetition) {
            std::uint64_t const seed = run_seed(head.seed, n, repetition);
            for (variant const* v : options.variants) {
                run_id const id{n, v, repetition, seed};
                report->run_started(id);
                run_result const result = experiment_run(n, seed, input, head.counters, v->sort);
                report->run_finished(id, result);
                write_progress(progress, ++done, runs, id, options.repeat, result);
                if (!out) return;
            }
        }
    }
    report->end();
}

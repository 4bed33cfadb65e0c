#include "bench/benchmark.hpp"

#include "bench/measured_run.hpp"
#include "bench/variants.hpp"
#include "funnel/tuning.hpp"
#include "funnel/tuning_globals.hpp"

namespace {

constexpr std::int32_t size_unit = 120000;
constexpr std::int32_t first_size_factor = 4;
constexpr std::int32_t end_size_factor = 256;  // the first factor not run

}  // namespace

std::vector<std::uint64_t> benchmark_sizes()
{
    std::vector<std::uint64_t> sizes;
    for (std::int32_t factor = first_size_factor; factor < end_size_factor; factor *= 2) {
        sizes.push_back(static_cast<std::uint64_t>(size_unit * factor));
    }
    return sizes;
}

void set_tuning(funnel::tuning t)
{
    d = t.d;
    alpha = t.alpha;
}

void set_benchmark_tuning() { set_tuning(funnel::default_tuning); }

run_tally write_benchmark(std::ostream& out, local_time started, std::vector<std::uint64_t> const& sizes,
                          std::ostream& diagnostics)
{
    run_tally tally;
    write_document_head(out, started);
    set_benchmark_tuning();

    for (std::uint64_t const n : sizes) {
        for (variant const* v : funnel_variants()) {
            std::string const failure = measured_run(out, n, v->display, v->report_sort);
            ++tally.runs;
            if (failure.empty()) continue;
            ++tally.failed;
            diagnostics << "corvane: " << v->display << ", " << n << " elements: " << failure << std::endl;
        }
        // Nothing more reaches a stream that has failed; the caller reports the loss.
        if (!out) return tally;
    }

    write_document_end(out);
    return tally;
}

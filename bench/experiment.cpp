#include "bench/experiment.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/benchmark.hpp"
#include "bench/cache_simulation.hpp"
#include "bench/cache_sweep.hpp"
#include "bench/confined_run.hpp"
#include "bench/experiment_report.hpp"
#include "bench/experiment_summary.hpp"
#include "bench/experiment_run.hpp"
#include "bench/input_source.hpp"
#include "bench/memory_cgroup.hpp"
#include "bench/stop_signals.hpp"
#include "bench/tuning_options.hpp"

namespace {

// The finaliser of splitmix64: nearby arguments give unrelated results.
std::uint64_t scramble(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9;
    x = (x ^ (x >> 27)) * 0x94d049bb133111eb;
    return x ^ (x >> 31);
}

// The order of the runs: a machine that warms up or slows down as an experiment goes on would
// favour whatever runs later, so the (size, repetition) pairs and the variants within each are
// shuffled, by a generator of the experiment's own (the standard's shuffle may differ from one
// library to the next), so that a seed gives the same order everywhere.
class run_order {
public:
    explicit run_order(std::uint64_t experiment_seed) : state_(scramble(experiment_seed ^ 0x6f72646572u)) {}

    template <class T>
    void shuffle(std::vector<T>& items)
    {
        for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[next() % i]);
    }

private:
    std::uint64_t next() { return scramble(state_++); }

    std::uint64_t state_;
};

struct size_repetition {
    std::uint64_t n;
    std::uint32_t repetition;
};

// K for size n: from the warm-up of every variant on the input of the size's first run, the
// fastest one's time, so that every measurement of the size lasts at least about
// measurement_seconds. A K given by the options leaves each warm-up its one untimed sort.
std::uint64_t warm_up_size(experiment_options const& options, std::uint64_t n, std::uint64_t seed,
                           input_source const& input)
{
    if (options.sorts_per_measurement != 0) {
        counter_choice const no_counters = choose_counters(counter_mode::none, nullptr);
        for (variant const* v : options.variants) experiment_run(n, seed, input, no_counters, *v, options.type);
        return std::min(options.sorts_per_measurement, most_sorts(n, item_size(options.type)));
    }
    double fastest = 0.0;
    for (variant const* v : options.variants) {
        if (stop_signal() != 0) break;  // no run of the size follows
        double const seconds = warm_up(n, seed, input, *v, options.type);
        if (seconds > 0.0 && (fastest == 0.0 || seconds < fastest)) fastest = seconds;
    }
    return sorts_per_measurement(fastest, n, item_size(options.type));
}

// name_setting: the funnel runs at more than one setting, so their lines say which.
void write_progress(std::ostream& progress, std::uint64_t done, std::uint64_t runs, run_id const& id,
                    std::uint32_t repeat, run_result const& result, std::string const& tail, bool name_setting)
{
    progress << "corvane: run " << done << '/' << runs << ": " << id.n << " elements, " << id.sort->name;
    if (id.tuning && name_setting) progress << " at alpha " << id.tuning->alpha << ", d " << d_text(id.tuning->d);
    progress << ", repetition " << id.repetition << '/' << repeat;
    if (result.measured) {
        progress << ": " << result.seconds << " s";
        if (result.sorts > 1) progress << " per sort of " << result.sorts;
        progress << ", check " << result.check;
    }
    if (!result.error.empty()) progress << ": failed: " << result.error;
    progress << tail << std::endl;
}

// The time left of an experiment, estimated from the time its finished runs took. Runs weigh
// n log n, as the sort's work does.
class time_estimate {
public:
    // sorts: the runs of one size and repetition.
    time_estimate(experiment_options const& options, std::size_t sorts) : started_(std::chrono::steady_clock::now())
    {
        for (std::uint64_t const n : options.sizes) total_ += work(n) * options.repeat * sorts;
    }

    void finished(std::uint64_t n) { done_ += work(n); }

    // "about 3 min 20 s left"
    std::string left() const
    {
        std::chrono::duration<double> const elapsed = std::chrono::steady_clock::now() - started_;
        auto const seconds = static_cast<std::uint64_t>(std::llround(elapsed.count() * (total_ - done_) / done_));
        std::string text = "about ";
        if (seconds >= 60) text += std::to_string(seconds / 60) + " min ";
        return text + std::to_string(seconds % 60) + " s left";
    }

private:
    static double work(std::uint64_t n) { return static_cast<double>(n) * std::log2(static_cast<double>(n) + 2.0); }

    std::chrono::steady_clock::time_point started_;
    double total_ = 0.0;
    double done_ = 0.0;
};

// Adds the simulated counts to the natively timed run; a simulated run whose own check fails
// makes the run's verdict, since both sort the same input.
void add_simulation(run_result& result, simulated_counts const& simulated)
{
    if (!simulated.counted) {
        if (result.error.empty()) result.error = simulated.error;
        return;
    }
    result.counts[counter_choice::l2_slot] = simulated.l2;
    result.l1_misses = simulated.l1;
    result.counts_read = true;
    if (simulated.check != "ok" && result.check == "ok") result.check = "simulated run: " + simulated.check;
}

}  // namespace

std::uint64_t run_seed(std::uint64_t experiment_seed, std::uint64_t n, std::uint32_t repetition)
{
    return scramble(experiment_seed ^ scramble(n ^ scramble(repetition)));
}

run_tally run_experiment(experiment_options const& options, std::ostream& out, std::ostream& progress,
                         local_time started, counter_library const* lib)
{
    input_source const input = options.input_file.empty()
                                   ? input_source::pattern(options.input)
                                   : input_source::file(options.input_file, item_size(options.type));
    if (options.simulated_child) {
        set_tuning(options.tunings().front());
        run_simulated_child(options.sizes.front(), options.child_seed, input, *options.variants.front(), options.type, out);
        return {};
    }
    experiment_head head{started, choose_counters(options.counters, lib), options.input, false, options.seed,
                         options.repeat, options.simulation};
    head.input = input.name();
    head.from_file = input.is_file();
    head.type = options.type;
    if (!options.seeded) head.seed = static_cast<std::uint64_t>(std::time(nullptr));

    // Runs under a memory limit each go to a child process in a cgroup made for the experiment.
    std::unique_ptr<memory_cgroup> group;
    std::unique_ptr<confined_runs> confined;
    run_storage storage;
    storage.mapped = options.mapped;
    storage.folder = options.scratch_dir;
    if (options.memory_limit != 0) {
        group = std::make_unique<memory_cgroup>(options.memory_limit);
        confined = std::make_unique<confined_runs>(*group, options.memory_limit_text);
        storage.peak_file = group->peak_file();
    }

    std::unique_ptr<experiment_report> const report =
        options.format == report_format::csv    ? make_csv_report(out, head)
        : options.format == report_format::json ? make_json_report(out, head)
                                                : make_xml_report(out, head);
    progress << "corvane: counters: " << counter_status(head.counters) << "; virtualized: "
             << virtualization_name(head.counters.machine);
    bool const simulated = options.counters == counter_mode::simulated;
    if (simulated) {
        progress << "; simulated caches (size/ways/line): " << simulated_caches_text(options.simulation);
    } else if (options.counters == counter_mode::automatic && head.counters.events().empty()) {
        progress << "; no hardware counter works here: --counters=simulated counts simulated cache misses";
    }
    progress << std::endl;

    report->begin();
    // The funnel variants run once at every setting, the peers once; simulated runs at every size
    // of a swept cache.
    std::vector<std::uint64_t> const cache_sizes =
        simulated ? bound_cache_sizes(options.simulation) : std::vector<std::uint64_t>{0};
    std::vector<run_id> sorts;
    for (variant const* v : options.variants) {
        for (std::uint64_t const cache_size : cache_sizes) {
            if (v->group != variant_group::funnel) {
                sorts.push_back(run_id{0, v, 0, 0, std::nullopt, cache_size});
                continue;
            }
            for (funnel::tuning const t : options.tunings()) sorts.push_back(run_id{0, v, 0, 0, t, cache_size});
        }
    }
    std::uint64_t const runs = options.sizes.size() * options.repeat * sorts.size();
    run_tally tally;
    time_estimate estimate(options, sorts.size());
    set_tuning(options.tunings().front());  // for the warm-ups
    run_order order(head.seed);
    std::vector<size_repetition> pairs;
    for (std::uint64_t const n : options.sizes) {
        for (std::uint32_t repetition = 1; repetition <= options.repeat; ++repetition) pairs.push_back({n, repetition});
    }
    order.shuffle(pairs);
    std::map<std::uint64_t, std::uint64_t> sorts_of_size;  // K, once the size's variants are warmed up
    experiment_summary summary(options.sizes, options.variants);
    // The run whose head is written and whose end is not: a fatal error closes it with its reason.
    std::optional<run_id> open;
    try {
        for (size_repetition const& pair : pairs) {
            if (stop_signal() != 0) break;
            std::uint64_t const n = pair.n;
            std::uint32_t const repetition = pair.repetition;
            std::uint64_t const seed = run_seed(head.seed, n, repetition);
            auto known = sorts_of_size.find(n);
            if (known == sorts_of_size.end()) {
                // Runs on mapped storage or under a limit are long and sort once per measurement; a
                // warm-up in this process's memory would be neither.
                bool const below_memory = options.mapped || options.memory_limit != 0;
                known = sorts_of_size.emplace(n, below_memory ? 1 : warm_up_size(options, n, seed, input)).first;
            }
            std::vector<run_id> shuffled = sorts;
            order.shuffle(shuffled);
            for (run_id const& sort : shuffled) {
                if (stop_signal() != 0) break;
                variant const* const v = sort.sort;
                run_id const id{n, v, repetition, seed, sort.tuning, sort.cache_size};
                funnel::tuning const setting = sort.tuning.value_or(funnel::default_tuning);
                set_tuning(setting);
                report->run_started(id);
                open = id;
                auto const run = [&] {
                    return experiment_run(n, seed, input, head.counters, *v, options.type, known->second, storage);
                };
                run_result result = confined ? confined->run(run) : run();
                if (simulated && result.measured && stop_signal() == 0) {
                    add_simulation(result,
                                   simulate_run(at_bound_cache_size(options.simulation, sort.cache_size),
                                                simulated_run_arguments(n, *v, options.type, seed, input, setting)));
                }
                // What the run measured before the signal came stays.
                if (stop_signal() != 0 && result.error.empty()) result.error = interrupted_error;
                report->run_finished(id, result);
                open.reset();
                summary.add(id, result);
                // Simulated runs are slow: their lines add the counts and the time left.
                std::string tail;
                if (simulated) {
                    estimate.finished(n);
                    if (cache_sizes.size() > 1) {
                        tail = ", L" + std::to_string(options.simulation.bound_level) + " of " +
                               std::to_string(sort.cache_size) + " bytes";
                    }
                    if (result.counts_read) {
                        tail += ", simulated data misses L1 " + std::to_string(result.l1_misses) + ", L2 " +
                               std::to_string(result.counts[counter_choice::l2_slot]);
                    }
                    tail += "; " + estimate.left();
                }
                ++tally.runs;
                if (!result.error.empty() || (result.measured && result.check != "ok")) ++tally.failed;
                write_progress(progress, tally.runs, runs, id, options.repeat, result, tail, options.tunings().size() > 1);
                if (!out) return tally;
            }
        }
    } catch (input_file_error const& e) {
        // The input every further run needs is gone: the document is closed before the error ends
        // the experiment.
        if (open) {
            run_result failed;
            failed.error = e.what();
            report->run_finished(*open, failed);
        }
        report->end();
        throw;
    }
    report->end();
    summary.write(progress);
    return tally;
}

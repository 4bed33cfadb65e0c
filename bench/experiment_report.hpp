#pragma once
// The report of an experiment, as XML (the benchmark's layout with what the options add) or as
// CSV (a header row and one row per run; the column order is fixed, new columns only ever come
// last: see csv_report.cpp). Both say which counters were used, why the others
// were not, and whether the machine is virtualised.

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "bench/experiment_options.hpp"
#include "bench/experiment_run.hpp"
#include "bench/variants.hpp"
#include "funnel/tuning.hpp"
#include "measure/counter_choice.hpp"
#include "measure/sys_names.hpp"

// What the report says once, before the runs.
struct experiment_head {
    local_time started;
    counter_choice counters;
    std::string input;  // the pattern's name or the file's path
    bool from_file = false;
    std::uint64_t seed = 0;  // the experiment's seed, given or taken from the clock
    std::uint32_t repeat = 1;
    simulation_setup simulation;  // the simulated caches, for counter_mode::simulated
    item_type type = item_type::element;
};

// Which run a report line belongs to.
struct run_id {
    std::uint64_t n = 0;
    variant const* sort = nullptr;
    std::uint32_t repetition = 1;  // from 1
    std::uint64_t seed = 0;        // the seed of this run's input
    std::optional<funnel::tuning> tuning;  // the funnel's setting; none for the peers
    // Simulated runs: the size in bytes of the cache set against the model's bound (the swept
    // size of a sweep); 0 otherwise.
    std::uint64_t cache_size = 0;
};

class experiment_report {
public:
    virtual ~experiment_report() = default;
    virtual void begin() = 0;
    // Called before the run starts measuring: whatever is written here lies outside the timing.
    virtual void run_started(run_id const& id) = 0;
    virtual void run_finished(run_id const& id, run_result const& result) = 0;
    virtual void end() = 0;
};

std::unique_ptr<experiment_report> make_xml_report(std::ostream& out, experiment_head const& head);
std::unique_ptr<experiment_report> make_csv_report(std::ostream& out, experiment_head const& head);
std::unique_ptr<experiment_report> make_json_report(std::ostream& out, experiment_head const& head);

// "counted" when every counter is, else "EVENT: reason" for each one that is not, joined by "; ";
// "requested" for papi mode, which asks for both events without trying them first.
std::string counter_status(counter_choice const& counters);

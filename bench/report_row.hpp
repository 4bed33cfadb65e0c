#pragma once
// One run as the tabular reports have it: the CSV row and the JSON run object hold the same named
// cells in the same order, made here once. The order is fixed and new columns only ever come
// last, so that every earlier column keeps its place.

#include <optional>
#include <string>
#include <vector>

#include "bench/experiment_report.hpp"

struct report_cell {
    enum class kind {
        empty,   // nothing to say: an empty CSV field, null in JSON
        number,  // text is the number as the stream writes it
        text,
    };
    char const* name;
    kind what;
    std::string text;
};

// A simulated run's bound, (N/B) * max(1, log_{M/B}(N/B)) for the cache set against it, and that
// cache's misses divided by it; empty where the run was not simulated (or counted nothing).
struct simulated_bound {
    std::optional<double> bound;
    std::optional<double> misses_per_bound;
};
simulated_bound run_bound(experiment_head const& head, run_id const& id, run_result const& result);

std::vector<report_cell> report_row(experiment_head const& head, run_id const& id, run_result const& result);

// The names of the cells, for the CSV header.
std::vector<std::string> report_columns(experiment_head const& head);

#pragma once
// The summary an experiment writes on standard error when its runs are done: per size and
// variant the median time per element of the checked repetitions, the confidence interval of that
// median (bench/statistics.hpp) and its ratio to std-sort's median at the same size, or to the
// first variant's where std-sort did not run.

#include <cstdint>
#include <map>
#include <ostream>
#include <utility>
#include <vector>

#include "bench/experiment_report.hpp"

class experiment_summary {
public:
    // The sizes and variants in the order the options gave them; the rows follow it.
    experiment_summary(std::vector<std::uint64_t> sizes, std::vector<variant const*> variants);

    // Keeps the time of a run that was measured and whose output was right.
    void add(run_id const& id, run_result const& result);

    void write(std::ostream& out) const;

private:
    std::vector<std::uint64_t> sizes_;
    std::vector<variant const*> variants_;
    std::map<std::pair<std::uint64_t, variant const*>, std::vector<double>> ns_per_element_;
};

#pragma once
// The summary an experiment writes on standard error when its runs are done: per size and
// variant the median time per element of the checked repetitions, the confidence interval of that
// median (bench/statistics.hpp) and its ratio to std-sort's median at the same size, or to the
// first variant's where std-sort did not run. With several tunings a funnel variant has a row per
// setting, its name followed by alpha/d.

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <tuple>
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
    void write_row(std::ostream& out, std::uint64_t n, variant const* v, std::optional<funnel::tuning> const& t,
                   bool name_setting, double reference_median) const;
    std::vector<std::uint64_t> sizes_;
    std::vector<variant const*> variants_;
    // The runs of a funnel variant at one setting are kept apart from those at another.
    using row_key = std::tuple<std::uint64_t, variant const*, std::int32_t, float>;
    static row_key key_of(std::uint64_t n, variant const* v, std::optional<funnel::tuning> const& t);
    std::map<row_key, std::vector<double>> ns_per_element_;
    std::vector<std::optional<funnel::tuning>> tunings_;  // every setting a run had, in the order first seen
};

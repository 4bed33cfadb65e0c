#include "bench/experiment_summary.hpp"

#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>

#include "bench/statistics.hpp"

namespace {

constexpr double nanoseconds_per_second = 1e9;

// One row as printf formats it, so that the columns line up whatever the stream's flags.
std::string row_text(char const* format, ...) __attribute__((format(printf, 1, 2)));

std::string row_text(char const* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

}  // namespace

experiment_summary::experiment_summary(std::vector<std::uint64_t> sizes, std::vector<variant const*> variants)
    : sizes_(std::move(sizes)), variants_(std::move(variants))
{
}

experiment_summary::row_key experiment_summary::key_of(std::uint64_t n, variant const* v,
                                                      std::optional<funnel::tuning> const& t)
{
    return t ? row_key{n, v, t->alpha, t->d} : row_key{n, v, 0, 0.0f};
}

void experiment_summary::add(run_id const& id, run_result const& result)
{
    bool seen = false;
    for (std::optional<funnel::tuning> const& t : tunings_) {
        seen = seen || (t.has_value() == id.tuning.has_value() && key_of(0, nullptr, t) == key_of(0, nullptr, id.tuning));
    }
    if (!seen) tunings_.push_back(id.tuning);
    if (!result.measured || result.check != "ok" || !result.error.empty()) return;
    ns_per_element_[key_of(id.n, id.sort, id.tuning)].push_back(result.seconds * nanoseconds_per_second / static_cast<double>(id.n));
}

void experiment_summary::write_row(std::ostream& out, std::uint64_t n, variant const* v,
                                   std::optional<funnel::tuning> const& t, bool name_setting,
                                   double reference_median) const
{
    std::string name = v->name;
    if (t && name_setting) name += ' ' + std::to_string(t->alpha) + '/' + row_text("%g", static_cast<double>(t->d));
    auto const times = ns_per_element_.find(key_of(n, v, t));
    if (times == ns_per_element_.end()) {
        out << row_text("%12llu  %-20s %12s", static_cast<unsigned long long>(n), name.c_str(), "no checked run")
            << std::endl;
        return;
    }
    double const m = median(times->second);
    median_interval const interval = median_confidence_interval(times->second);
    std::string ratio = "-";
    if (reference_median > 0.0) ratio = row_text("%.3f", m / reference_median);
    out << row_text("%12llu  %-20s %12.3f %12.3f %12.3f %9.1f%% %9s", static_cast<unsigned long long>(n), name.c_str(),
                    m, interval.low, interval.high, 100.0 * interval.confidence, ratio.c_str())
        << std::endl;
}

void experiment_summary::write(std::ostream& out) const
{
    // std-sort when it ran, else the first variant named.
    variant const* reference = variants_.front();
    for (variant const* v : variants_) {
        if (std::string(v->name) == "std-sort") reference = v;
    }
    out << "corvane: summary: ns per element, median of the checked repetitions and the interval that holds the "
           "median with the confidence given (order statistics); ratio of the medians to "
        << reference->name << std::endl;
    out << row_text("%12s  %-20s %12s %12s %12s %10s %9s", "size", "variant", "median", "low", "high", "confidence",
                    "ratio")
        << std::endl;
    std::set<std::uint64_t> written;
    for (std::uint64_t const n : sizes_) {
        if (!written.insert(n).second) continue;
        auto const reference_times = ns_per_element_.lower_bound(key_of(n, reference, std::nullopt));
        double const reference_median =
            reference_times == ns_per_element_.end() || std::get<0>(reference_times->first) != n ||
                    std::get<1>(reference_times->first) != reference
                ? 0.0
                : median(reference_times->second);
        std::size_t settings = 0;
        for (std::optional<funnel::tuning> const& t : tunings_) settings += t.has_value() ? 1 : 0;
        for (variant const* v : variants_) {
            for (std::optional<funnel::tuning> const& t : tunings_) {
                if (t.has_value() != (v->group == variant_group::funnel)) continue;
                write_row(out, n, v, t, settings > 1, reference_median);
            }
        }
    }
}

#include "bench/report_row.hpp"

#include "bench/cache_sweep.hpp"
#include "bench/miss_bound.hpp"
#include "bench/tuning_options.hpp"

#include <sstream>
#include <tuple>
#include <utility>

namespace {

constexpr double nanoseconds_per_second = 1e9;

class row_builder {
public:
    template <class Number>
    void number(char const* name, Number value, bool present = true)
    {
        if (!present) return empty(name);
        std::ostringstream text;
        text << value;
        cells_.push_back({name, report_cell::kind::number, text.str()});
    }

    // An empty text is an empty cell.
    void text(char const* name, std::string value)
    {
        if (value.empty()) return empty(name);
        cells_.push_back({name, report_cell::kind::text, std::move(value)});
    }

    void empty(char const* name) { cells_.push_back({name, report_cell::kind::empty, ""}); }

    std::vector<report_cell> cells() && { return std::move(cells_); }

private:
    std::vector<report_cell> cells_;
};

}  // namespace

simulated_bound run_bound(experiment_head const& head, run_id const& id, run_result const& result)
{
    if (head.counters.mode != counter_mode::simulated || id.cache_size == 0) return {};
    // A copy: the setup at that size is a temporary, and bound_cache refers into it.
    cache_geometry const cache = bound_cache(at_bound_cache_size(head.simulation, id.cache_size));
    simulated_bound bound;
    bound.bound = sorting_miss_bound(id.n * item_size(head.type), cache.size, cache.line);
    if (bound.bound && result.counts_read) {
        std::int64_t const misses =
            head.simulation.bound_level == 1 ? result.l1_misses : result.counts[counter_choice::l2_slot];
        bound.misses_per_bound = static_cast<double>(misses) / *bound.bound;
    }
    return bound;
}

std::vector<report_cell> report_row(experiment_head const& head, run_id const& id, run_result const& result)
{
    row_builder row;
    row.number("size", id.n);
    row.text("variant", id.sort->name);
    row.number("repetition", id.repetition);
    row.text("input", head.input);
    // The experiment's seed: with the row's size, input and repetition it makes the row's input
    // again. A text, since 64-bit values do not survive every reader's numbers.
    row.text("seed", head.from_file ? "" : std::to_string(head.seed));
    row.number("seconds", result.seconds, result.measured);
    row.number("ns_per_element", result.seconds * nanoseconds_per_second / static_cast<double>(id.n), result.measured);
    static_assert(std::tuple_size<decltype(head.counters.slots)>::value == 2, "a level-2 and a TLB slot");
    char const* const count_names[] = {"l2_misses", "tlb_misses"};
    char const* const event_names[] = {"l2_event", "tlb_event"};
    for (std::size_t i = 0; i < head.counters.slots.size(); ++i) {
        row.number(count_names[i], result.counts[i], head.counters.slots[i].counted && result.counts_read);
    }
    for (std::size_t i = 0; i < head.counters.slots.size(); ++i) {
        counter_slot const& slot = head.counters.slots[i];
        row.text(event_names[i], slot.counted ? event_name(slot.event) : "");
    }
    row.text("counter_status", counter_status(head.counters));
    row.text("virtualized", virtualization_name(head.counters.machine));
    row.text("check", result.measured ? result.check : "");
    row.text("error", result.error);
    // Simulated counts add their first level and both geometries (size/ways/line in bytes).
    if (head.counters.mode == counter_mode::simulated) {
        row.number("l1_misses", result.l1_misses, result.counts_read);
        row.text("l1_event", event_name(simulated_l1_data_misses));
        simulation_setup const caches = at_bound_cache_size(head.simulation, id.cache_size);
        row.text("l1_cache", geometry_text(caches.l1));
        row.text("l2_cache", geometry_text(caches.l2));
    }
    row.text("type", item_type_name(head.type));
    row.number("sorts_per_measurement", result.sorts, result.measured);
    // The funnel's setting; the peers have none.
    row.number("alpha", id.tuning ? id.tuning->alpha : 0, id.tuning.has_value());
    row.number("d", id.tuning ? d_text(id.tuning->d) : "", id.tuning.has_value());
    // What the timed interval moved: faults, storage bytes, processor time, peak memory.
    data_movement const& moved = result.moved;
    bool const counted = result.measured && moved.counted;
    row.number("major_faults", moved.major_faults, counted);
    row.number("minor_faults", moved.minor_faults, counted);
    row.number("read_bytes", moved.read_bytes, counted);
    row.number("write_bytes", moved.write_bytes, counted);
    row.number("user_s", moved.user_s, counted);
    row.number("system_s", moved.system_s, counted);
    row.number("peak_rss_bytes", moved.peak_rss_bytes, counted);
    // The model's bound on the misses of the simulated cache set against it, and that cache's misses
    // per bound.
    simulated_bound const bound = run_bound(head, id, result);
    row.number("bound", bound.bound.value_or(0.0), bound.bound.has_value());
    row.number("misses_per_bound", bound.misses_per_bound.value_or(0.0), bound.misses_per_bound.has_value());
    return std::move(row).cells();
}

std::vector<std::string> report_columns(experiment_head const& head)
{
    std::vector<std::string> names;
    for (report_cell const& cell : report_row(head, run_id{1, &all_variants().front(), 1, 0, std::nullopt}, run_result{})) {
        names.push_back(cell.name);
    }
    return names;
}

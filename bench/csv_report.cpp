#include <ostream>

#include "bench/experiment_report.hpp"

namespace {

constexpr double nanoseconds_per_second = 1e9;

// A field as CSV wants it: quoted, with inner quotes doubled, when it holds a comma, a quote
// or a line break.
std::string field(std::string const& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string out = "\"";
    for (char const c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

class csv_report : public experiment_report {
public:
    csv_report(std::ostream& out, experiment_head const& head)
        : out_(out), head_(head), status_(field(counter_status(head.counters)))
    {
    }

    void begin() override
    {
        out_ << "size,variant,repetition,input,seed,seconds,ns_per_element,l2_misses,tlb_misses,l2_event,tlb_event,"
                "counter_status,virtualized,check,error";
        // Simulated counts add their first level and both geometries (size/ways/line in bytes).
        if (simulated()) out_ << ",l1_misses,l1_event,l1_cache,l2_cache";
        // Columns added later come last, so that every earlier column keeps its place.
        out_ << ",type,sorts_per_measurement" << std::endl;
    }

    void run_started(run_id const&) override {}

    void run_finished(run_id const& id, run_result const& result) override
    {
        out_ << id.n << ',' << id.sort->name << ',' << id.repetition << ',' << field(head_.input) << ',';
        // The experiment's seed: with the row's size, input and repetition it makes the row's input again.
        if (!head_.from_file) out_ << head_.seed;
        out_ << ',';
        if (result.measured) {
            out_ << result.seconds << ',' << result.seconds * nanoseconds_per_second / static_cast<double>(id.n);
        } else {
            out_ << ',';
        }
        for (std::size_t i = 0; i < head_.counters.slots.size(); ++i) {
            out_ << ',';
            if (head_.counters.slots[i].counted && result.counts_read) out_ << result.counts[i];
        }
        for (counter_slot const& slot : head_.counters.slots) {
            out_ << ',';
            if (slot.counted) out_ << event_name(slot.event);
        }
        out_ << ',' << status_ << ',' << virtualization_name(head_.counters.machine) << ','
             << field(result.measured ? result.check : "") << ',' << field(result.error);
        if (simulated()) {
            out_ << ',';
            if (result.counts_read) out_ << result.l1_misses;
            out_ << ',' << event_name(simulated_l1_data_misses) << ',' << geometry_text(head_.simulation.l1) << ','
                 << geometry_text(head_.simulation.l2);
        }
        out_ << ',' << item_type_name(head_.type) << ',';
        if (result.measured) out_ << result.sorts;
        out_ << std::endl;
    }

    void end() override {}

private:
    bool simulated() const { return head_.counters.mode == counter_mode::simulated; }

    std::ostream& out_;
    experiment_head const head_;
    std::string const status_;
};

}  // namespace

std::unique_ptr<experiment_report> make_csv_report(std::ostream& out, experiment_head const& head)
{
    return std::make_unique<csv_report>(out, head);
}

std::string counter_status(counter_choice const& counters)
{
    if (counters.mode == counter_mode::papi) return "requested";
    std::string status;
    for (counter_slot const& slot : counters.slots) {
        if (slot.counted) continue;
        if (!status.empty()) status += "; ";
        status += std::string(event_name(slot.event)) + ": " + slot.reason;
    }
    return status.empty() ? "counted" : status;
}

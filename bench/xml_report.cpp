#include <ostream>

#include "bench/experiment_report.hpp"
#include "bench/manifest.hpp"
#include "bench/report_row.hpp"
#include "bench/report_xml.hpp"
#include "bench/tuning_options.hpp"
#include "measure/stopwatch.hpp"

namespace {

class xml_report : public experiment_report {
public:
    xml_report(std::ostream& out, experiment_head const& head) : out_(out), head_(head) {}

    void begin() override
    {
        write_document_head(out_, head_.started);
        out_ << "\t<experiment counters=\"" << counter_mode_name(head_.counters.mode) << "\" virtualized=\""
             << virtualization_name(head_.counters.machine) << "\" input=\"" << xml_text(head_.input) << '"';
        if (!head_.from_file) out_ << " seed=\"" << head_.seed << '"';
        out_ << " repeat=\"" << head_.repeat << "\"/>" << std::endl;
        out_ << "\t<manifest";
        for (auto const& [key, value] : experiment_manifest(head_)) out_ << ' ' << key << "=\"" << xml_text(value) << '"';
        out_ << "/>" << std::endl;
        for (counter_slot const& slot : head_.counters.slots) {
            out_ << "\t<counter name=\"" << slot.quantity << "\" event=\"" << event_name(slot.event) << '"';
            if (slot.counted && simulated()) {
                write_simulated_status(head_.simulation.l2, 2);
            } else if (slot.counted) {
                // papi mode asks for its events without trying them first; its runs tell.
                out_ << " status=\"" << (head_.counters.mode == counter_mode::papi ? "requested" : "counted") << "\"/>"
                     << std::endl;
            } else {
                out_ << " status=\"unavailable\" reason=\"" << xml_text(slot.reason) << "\"/>" << std::endl;
            }
        }
        if (simulated()) {
            out_ << "\t<counter name=\"l1misses\" event=\"" << event_name(simulated_l1_data_misses) << '"';
            write_simulated_status(head_.simulation.l1, 1);
        }
    }

    void run_started(run_id const& id) override
    {
        write_run_head(out_, id.n, id.sort->display);
        out_ << "\t\t<repetition>" << id.repetition << "</repetition>" << std::endl;
        out_ << "\t\t<input";
        if (!head_.from_file) out_ << " seed=\"" << id.seed << '"';
        out_ << '>' << xml_text(head_.input) << "</input>" << std::endl;
        out_ << "\t\t<type>" << item_type_name(head_.type) << "</type>" << std::endl;
        // The funnel's setting; empty for the peers.
        if (id.tuning) {
            out_ << "\t\t<alpha>" << id.tuning->alpha << "</alpha>" << std::endl;
            out_ << "\t\t<d>" << d_text(id.tuning->d) << "</d>" << std::endl;
        } else {
            out_ << "\t\t<alpha/>" << std::endl << "\t\t<d/>" << std::endl;
        }
    }

    void run_finished(run_id const& id, run_result const& result) override
    {
        if (result.measured) {
            out_ << "\t\t<check>" << xml_text(result.check) << "</check>" << std::endl;
            out_ << stopwatch::xt{result.seconds, measurement_indent, report_indent_char};
            // A failed read leaves the line to the error that follows, as in the benchmark.
            if (result.counts_read || (head_.counters.events().empty() && !simulated())) {
                write_counts(result);
                out_ << std::endl;
            }
            if (simulated() && result.counts_read) write_bound(id, result);
        }
        if (!result.error.empty()) write_run_failure(out_, result.error.c_str());
        write_run_end(out_);
    }

    void end() override { write_document_end(out_); }

private:
    void write_counts(run_result const& result)
    {
        for (std::size_t i = 0; i < head_.counters.slots.size(); ++i) {
            counter_slot const& slot = head_.counters.slots[i];
            if (slot.counted) {
                out_ << '<' << slot.quantity << '>' << result.counts[i] << "</" << slot.quantity << '>';
            } else {
                out_ << '<' << slot.quantity << " unavailable=\"" << xml_text(slot.reason) << "\"/>";
            }
        }
        if (simulated()) out_ << "<l1misses>" << result.l1_misses << "</l1misses>";
    }

    bool simulated() const { return head_.counters.mode == counter_mode::simulated; }

    // Simulated counts say so, and which cache they come from; a swept level lists its sizes.
    void write_simulated_status(cache_geometry const& cache, std::uint32_t level)
    {
        out_ << " status=\"simulated\"";
        if (level == head_.simulation.bound_level && !head_.simulation.swept_sizes.empty()) {
            out_ << " sizes=\"";
            for (std::size_t i = 0; i < head_.simulation.swept_sizes.size(); ++i) {
                out_ << (i > 0 ? "," : "") << head_.simulation.swept_sizes[i];
            }
            out_ << '"';
        } else {
            out_ << " size=\"" << cache.size << '"';
        }
        out_ << " ways=\"" << cache.ways << "\" line=\"" << cache.line << "\"/>" << std::endl;
    }

    // The model's bound for the cache set against it (its level and size), and the misses per bound;
    // nothing for a cache of one line, which has no bound.
    void write_bound(run_id const& id, run_result const& result)
    {
        simulated_bound const bound = run_bound(head_, id, result);
        if (!bound.misses_per_bound) return;
        out_ << "\t\t<bound level=\"" << head_.simulation.bound_level << "\" size=\"" << id.cache_size << "\">"
             << *bound.bound << "</bound><misses_per_bound>" << *bound.misses_per_bound << "</misses_per_bound>"
             << std::endl;
    }

    std::ostream& out_;
    experiment_head const head_;
};

}  // namespace

std::unique_ptr<experiment_report> make_xml_report(std::ostream& out, experiment_head const& head)
{
    return std::make_unique<xml_report>(out, head);
}

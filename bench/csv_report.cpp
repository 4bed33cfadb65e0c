#include <algorithm>
#include <ostream>

#include "bench/experiment_report.hpp"
#include "bench/manifest.hpp"
#include "bench/report_row.hpp"

namespace {

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
    csv_report(std::ostream& out, experiment_head const& head) : out_(out), head_(head) {}

    void begin() override
    {
        // The manifest comes first, one "# key: value" line each, which CSV readers skip as comments.
        for (auto const& [key, value] : experiment_manifest(head_)) {
            std::string line = value;
            std::replace(line.begin(), line.end(), '\n', ' ');
            out_ << "# " << key << ": " << line << '\n';
        }
        char const* separator = "";
        for (std::string const& name : report_columns(head_)) {
            out_ << separator << name;
            separator = ",";
        }
        out_ << std::endl;
    }

    void run_started(run_id const&) override {}

    void run_finished(run_id const& id, run_result const& result) override
    {
        char const* separator = "";
        for (report_cell const& cell : report_row(head_, id, result)) {
            out_ << separator << field(cell.text);
            separator = ",";
        }
        out_ << std::endl;
    }

    void end() override {}

private:
    std::ostream& out_;
    experiment_head const head_;
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

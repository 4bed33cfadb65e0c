#include <ostream>

#include "bench/experiment_report.hpp"
#include "bench/manifest.hpp"
#include "bench/report_row.hpp"

namespace {

// The length of the UTF-8 sequence that starts at text[at], or 0 where none does.
std::size_t utf8_length(std::string const& text, std::size_t at)
{
    auto const byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char const lead = byte(at);
    std::size_t const length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) >> 6) != 0x2) return 0;
    }
    return length;
}

// A JSON string: quotes, backslashes and control characters escaped; a byte that begins no UTF-8
// sequence (a file name may hold any) becomes U+FFFD, so that the document stays valid.
std::string json_string(std::string const& text)
{
    static char const hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        char const c = text[i];
        std::size_t const length = utf8_length(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\u00";
            out += hex[(c >> 4) & 0xf];
            out += hex[c & 0xf];
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + '"';
}

// One document, {"manifest": {...}, "runs": [...]}, each run an object of the CSV's cells: numbers
// as numbers, empty cells as null, texts (the seed among them) as strings. Every run is written
// when it finishes.
class json_report : public experiment_report {
public:
    json_report(std::ostream& out, experiment_head const& head) : out_(out), head_(head) {}

    void begin() override
    {
        out_ << "{\n  \"manifest\": {";
        char const* separator = "\n    ";
        for (auto const& [key, value] : experiment_manifest(head_)) {
            out_ << separator << json_string(key) << ": " << json_string(value);
            separator = ",\n    ";
        }
        out_ << "\n  },\n  \"runs\": [" << std::flush;
    }

    void run_started(run_id const&) override {}

    void run_finished(run_id const& id, run_result const& result) override
    {
        out_ << (runs_++ == 0 ? "\n    {" : ",\n    {");
        char const* separator = "";
        for (report_cell const& cell : report_row(head_, id, result)) {
            out_ << separator << json_string(cell.name) << ": ";
            switch (cell.what) {
            case report_cell::kind::empty: out_ << "null"; break;
            case report_cell::kind::number: out_ << cell.text; break;
            case report_cell::kind::text: out_ << json_string(cell.text); break;
            }
            separator = ", ";
        }
        out_ << '}' << std::flush;
    }

    void end() override { out_ << (runs_ == 0 ? "]\n}" : "\n  ]\n}") << std::endl; }

private:
    std::ostream& out_;
    experiment_head const head_;
    std::uint64_t runs_ = 0;
};

}  // namespace

std::unique_ptr<experiment_report> make_json_report(std::ostream& out, experiment_head const& head)
{
    return std::make_unique<json_report>(out, head);
}

#pragma once
// The XML both reports share, written here only: the fixed report's document head, run head,
// failure line and closing tags, which an experiment's report (xml_report.cpp) keeps around what
// it adds. Every value not fixed when the program is built goes through xml_text.

#include <cstdint>
#include <ostream>
#include <string>

#include "bench/xml_text.hpp"
#include "measure/sys_names.hpp"

// Indentation of the measurement fragments in the report: the time fragment starts the line
// with two tabs, the miss fragment follows it directly.
constexpr std::int32_t measurement_indent = 2;
constexpr char report_indent_char = '\t';

// Lines 1 and 2 of the document: the XML declaration and the benchmark element's opening tag.
inline void write_document_head(std::ostream& out, local_time started)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" << std::endl;
    out << "<benchmark date=\"" << started << "\" os=\"" << xml_text(sys_names::os()) << "\" version=\""
        << xml_text(sys_names::release()) << "\" host=\"" << xml_text(sys_names::host()) << "\">" << std::endl;
}

inline void write_document_end(std::ostream& out) { out << "</benchmark>" << std::endl; }

// Lines 3 to 5 of a run element: the run's head, its size and its algorithm (the text of the
// algorithm element: "Cached stack", "std::sort", ...).
inline void write_run_head(std::ostream& out, std::uint64_t n, std::string const& algorithm)
{
    out << "\t<run buildtime=\"" << __DATE__ " " __TIME__ << "\" compiler=\"" << sys_names::compiler()
        << "\" execstatus=\"0\">" << std::endl;
    out << "\t\t<size>" << n << "</size>" << std::endl;
    out << "\t\t<algorithm>" << algorithm << "</algorithm>" << std::endl;
}

// The error line of a run that failed with an exception whose what() text is what.
inline void write_run_failure(std::ostream& out, char const* what)
{
    out << "\t\t<error>Caught std::exception: " << xml_text(what) << "</error>" << std::endl;
}

inline void write_run_end(std::ostream& out) { out << "\t</run>" << std::endl; }

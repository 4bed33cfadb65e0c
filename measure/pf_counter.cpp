#include "measure/pf_counter.hpp"

#include <sys/resource.h>

#include "measure/xml_indent.hpp"

std::int64_t pf_counter::process_major_faults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_majflt;
}

pf_counter::pf_counter(fault_reader read_faults) : read_faults_(read_faults), start_count_(0), total_(0) {}

void pf_counter::start() { start_count_ = read_faults_(); }

void pf_counter::stop()
{
    if (start_count_ == 0) return;
    total_ += read_faults_() - start_count_;
    start_count_ = 0;
}

void pf_counter::reset()
{
    total_ = 0;
    if (start_count_ > 0) start_count_ = read_faults_();
}

std::ostream& operator<<(std::ostream& os, pf_counter::xt const& fragment)
{
    write_indent(os, fragment.indent_count, fragment.indent_char);
    return os << "<pagefaults>" << fragment.count << "</pagefaults>";
}

#include "measure/data_movement.hpp"

#include <fstream>
#include <sstream>

#include <sys/resource.h>

namespace {

double seconds_of(timeval const& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// The value after "name" in a file of "name value" lines (/proc/self/io, /proc/self/status, a
// cgroup's stat files); false when the file or the line is missing.
bool read_field(char const* path, std::string const& name, std::uint64_t& value)
{
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, name.size(), name) != 0) continue;
        std::istringstream fields(line.substr(name.size()));
        return static_cast<bool>(fields >> value);
    }
    return false;
}

// The whole content of a one-number file (a cgroup's peak).
bool read_number(std::string const& path, std::uint64_t& value)
{
    std::ifstream in(path);
    return static_cast<bool>(in >> value);
}

bool write_text(std::string const& path, char const* text)
{
    std::ofstream out(path);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

movement_meter::movement_meter(std::string peak_file) : peak_file_(std::move(peak_file)) {}

data_movement movement_meter::read_now()
{
    data_movement r;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    r.major_faults = usage.ru_majflt;
    r.minor_faults = usage.ru_minflt;
    r.user_s = seconds_of(usage.ru_utime);
    r.system_s = seconds_of(usage.ru_stime);
    r.counted = read_field("/proc/self/io", "read_bytes:", r.read_bytes) &&
                read_field("/proc/self/io", "write_bytes:", r.write_bytes);
    return r;
}

void movement_meter::start()
{
    // A cgroup's peak is reset by writing to it (v1 takes 0, v2 any text on kernels that allow
    // it); VmHWM by writing 5 to clear_refs. Where the reset is refused, the peak is the
    // process's or cgroup's since it began, which is still an upper bound.
    if (peak_file_.empty()) {
        write_text("/proc/self/clear_refs", "5");
    } else {
        write_text(peak_file_, "0");
    }
    started_ = read_now();
}

data_movement movement_meter::stop()
{
    data_movement const now = read_now();
    data_movement moved;
    moved.major_faults = now.major_faults - started_.major_faults;
    moved.minor_faults = now.minor_faults - started_.minor_faults;
    moved.user_s = now.user_s - started_.user_s;
    moved.system_s = now.system_s - started_.system_s;
    moved.read_bytes = now.read_bytes - started_.read_bytes;
    moved.write_bytes = now.write_bytes - started_.write_bytes;
    bool peak_read = false;
    if (peak_file_.empty()) {
        std::uint64_t kib = 0;
        peak_read = read_field("/proc/self/status", "VmHWM:", kib);
        moved.peak_rss_bytes = kib * 1024;
    } else {
        peak_read = read_number(peak_file_, moved.peak_rss_bytes);
    }
    moved.counted = now.counted && started_.counted && peak_read;
    return moved;
}

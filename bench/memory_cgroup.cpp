#include "bench/memory_cgroup.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "measure/memory_limit.hpp"

namespace {

constexpr char const cgroup_root[] = "/sys/fs/cgroup";

bool is_folder(std::string const& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool write_file(std::string const& path, std::string const& text)
{
    int const fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool const ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}

bool file_holds(std::string const& path, std::string const& word)
{
    std::ifstream in(path);
    for (std::string w; in >> w;) {
        if (w == word) return true;
    }
    return false;
}

// The number after key in a file of "key value" lines.
std::uint64_t field_value(std::string const& path, std::string const& key)
{
    std::ifstream in(path);
    std::string name;
    std::uint64_t value = 0;
    while (in >> name >> value) {
        if (name == key) return value;
    }
    return 0;
}

std::string error_text() { return std::strerror(errno); }

}  // namespace

memory_cgroup::memory_cgroup(std::uint64_t limit)
{
    std::string own;
    std::string parent;
    std::string const unified = std::string(cgroup_root);
    if (file_holds(unified + "/cgroup.controllers", "memory") && process_cgroup("", "", own)) {
        v2_ = true;
        parent = unified + own;
    } else if (is_folder(std::string(cgroup_root) + "/memory") && process_cgroup("", "memory", own)) {
        parent = std::string(cgroup_root) + "/memory" + own;
    } else {
        throw cgroup_error("no cgroup memory controller is mounted under /sys/fs/cgroup (neither cgroup v2 with "
                           "memory nor v1's memory hierarchy)");
    }
    if (v2_ && !file_holds(parent + "/cgroup.subtree_control", "memory") &&
        !write_file(parent + "/cgroup.subtree_control", "+memory")) {
        throw cgroup_error("the memory controller cannot be enabled for the cgroups below " + parent + ": " +
                           error_text() + " (a cgroup v2 folder that holds processes cannot pass it on; run corvane in a cgroup of its own)");
    }
    path_ = parent + "/corvane-" + std::to_string(getpid());
    if (mkdir(path_.c_str(), 0755) != 0) {
        throw cgroup_error("no cgroup can be made in " + parent + ": " + error_text() +
                           " (corvane needs the right to create cgroups there, as root has)");
    }
    std::string const bytes = std::to_string(limit);
    bool limited = false;
    if (v2_) {
        limited = write_file(path_ + "/memory.max", bytes);
        write_file(path_ + "/memory.swap.max", "0");
    } else {
        limited = write_file(path_ + "/memory.limit_in_bytes", bytes);
        // Where swap is counted apart, the sum is held to the same limit, so that a run cannot swap
        // its way past it. Missing without swap accounting, which is fine.
        write_file(path_ + "/memory.memsw.limit_in_bytes", bytes);
    }
    if (!limited) {
        std::string const why = error_text();
        remove();
        throw cgroup_error("the memory limit of cgroup " + path_ + " cannot be set: " + why);
    }
}

bool memory_cgroup::enter() const { return write_file(path_ + "/cgroup.procs", std::to_string(getpid())); }

std::string memory_cgroup::peak_file() const { return path_ + (v2_ ? "/memory.peak" : "/memory.max_usage_in_bytes"); }

std::uint64_t memory_cgroup::limit_kills() const
{
    return v2_ ? field_value(path_ + "/memory.events", "oom_kill") : field_value(path_ + "/memory.oom_control", "oom_kill");
}

void memory_cgroup::remove()
{
    if (removed_ || path_.empty()) return;
    // A process killed a moment ago may still be leaving the cgroup: a few tries.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (rmdir(path_.c_str()) == 0 || errno == ENOENT) break;
        usleep(10000);
    }
    removed_ = true;
}

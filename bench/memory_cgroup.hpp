#pragma once
// A memory cgroup made for one experiment: a folder below the cgroup corvane runs in, with a
// memory limit, removed again when the experiment ends. It works with the unified hierarchy
// (cgroup v2) and with the memory controller of v1, whichever holds the memory controller here.

#include <cstdint>
#include <stdexcept>
#include <string>

#include <sys/types.h>

// No cgroup could be made; what() says what is missing.
class cgroup_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class memory_cgroup {
public:
    // Makes the cgroup with a limit of limit bytes (swap included where the kernel counts it
    // apart). Throws cgroup_error.
    explicit memory_cgroup(std::uint64_t limit);
    // Removes the cgroup, which must hold no process by then.
    ~memory_cgroup() { remove(); }
    memory_cgroup(memory_cgroup const&) = delete;
    memory_cgroup& operator=(memory_cgroup const&) = delete;

    // Moves the calling process into the cgroup; false if the kernel refused.
    bool enter() const;
    // The file of the cgroup's peak memory (v1 memory.max_usage_in_bytes, v2 memory.peak).
    std::string peak_file() const;
    // How many processes the kernel has killed in the cgroup for reaching its limit.
    std::uint64_t limit_kills() const;
    // Removes the folder (once), waiting a little for a process that was just killed to leave it.
    void remove();

    std::string const& path() const { return path_; }

private:
    std::string path_;
    bool v2_ = false;
    bool removed_ = false;
};

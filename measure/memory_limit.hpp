#pragma once
// How much memory this process may use: the smallest of the machine's physical memory, its
// address-space limit (RLIMIT_AS, `ulimit -v`) and the memory limits of its cgroup and of every
// cgroup above it. A size that fits physical memory but not a cgroup's limit would otherwise be
// ended by the kernel without a word.

#include <cstdint>
#include <string>

struct memory_limit {
    std::uint64_t bytes = 0;  // 0: no limit known
    // What sets the limit, for a refusal: "physical memory", "RLIMIT_AS (ulimit -v)" or the
    // cgroup's limit file, "/sys/fs/cgroup/memory/a/memory.limit_in_bytes".
    std::string source;
};

// The path of this process's cgroup, as root/proc/self/cgroup names it ("" for this process on
// this machine), in the version-1 hierarchy with the given controller ("memory"), or in the
// unified hierarchy of version 2 for "". false where the process belongs to none.
bool process_cgroup(std::string const& root, std::string const& controller, std::string& path);

// The smallest memory limit of the process's cgroups and their ancestors, in the files below
// root ("" for this process on this machine): root/proc/self/cgroup names the process's cgroup
// in each hierarchy, root/proc/self/mountinfo where the hierarchies are mounted. The limits are
// memory.limit_in_bytes of the version-1 memory controller and memory.max of version 2; "max",
// and version 1's largest value, mean none. bytes 0 when no cgroup limits the process.
memory_limit cgroup_memory_limit(std::string const& root);

// The machine's physical memory in bytes; 0 where it is not known.
std::uint64_t physical_memory_bytes();

// The smallest of physical memory, RLIMIT_AS and cgroup_memory_limit("").
memory_limit process_memory_limit();

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "measure/memory_limit.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

// A machine's cgroup files below a test folder: the process's /proc/self/cgroup and mountinfo, and
// limit files by path.
memory_limit limit_on(std::string const& cgroups, std::string const& mounts,
                      std::map<std::string, std::string> const& limits, std::string& root)
{
    test_support::temp_dir dir;
    root = dir.file("machine");
    std::filesystem::create_directories(root + "/proc/self");
    test_support::write_file(root + "/proc/self/cgroup", cgroups);
    test_support::write_file(root + "/proc/self/mountinfo", mounts);
    for (auto const& [path, text] : limits) {
        std::filesystem::create_directories(std::filesystem::path(root + path).parent_path());
        test_support::write_file(root + path, text);
    }
    return cgroup_memory_limit(root);
}

std::string const hybrid_mounts =
    "30 22 0:27 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "31 30 0:28 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
    "34 30 0:31 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n"
    "40 30 0:37 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

// The smallest limit of the process's cgroup and its ancestors counts, in either version; version
// 1's largest value and version 2's "max" mean no limit, and so does a cgroup of another controller.
TEST(MemoryLimit, TheSmallestLimitOfTheCgroupAndItsAncestors)
{
    std::string root;
    memory_limit const v1 = limit_on("5:cpu:/a/b\n4:memory:/a/b\n0::/\n", hybrid_mounts,
                                     {{"/sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
                                      {"/sys/fs/cgroup/memory/a/memory.limit_in_bytes", "300000000\n"},
                                      {"/sys/fs/cgroup/memory/a/b/memory.limit_in_bytes", "500000000\n"},
                                      {"/sys/fs/cgroup/cpu/a/b/memory.limit_in_bytes", "1000\n"}},
                                     root);
    EXPECT_EQ(v1.bytes, 300000000u);
    EXPECT_EQ(v1.source, root + "/sys/fs/cgroup/memory/a/memory.limit_in_bytes");

    // Version 2 alone, mounted at a path with a space (which mountinfo writes as \040).
    memory_limit const v2 = limit_on("0::/x/y\n", "25 20 0:22 / /sys/fs/c\\040g rw - cgroup2 cgroup2 rw\n",
                                     {{"/sys/fs/c g/x/memory.max", "max\n"},
                                      {"/sys/fs/c g/x/y/memory.max", "268435456\n"}},
                                     root);
    EXPECT_EQ(v2.bytes, 268435456u);
    EXPECT_EQ(v2.source, root + "/sys/fs/c g/x/y/memory.max");

    // A container's mount shows the hierarchy from its own cgroup down.
    memory_limit const inside = limit_on(
        "4:memory:/docker/c1/job\n", "34 30 0:31 /docker/c1 /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n",
        {{"/sys/fs/cgroup/memory/memory.limit_in_bytes", "700000000\n"},
         {"/sys/fs/cgroup/memory/job/memory.limit_in_bytes", "800000000\n"}},
        root);
    EXPECT_EQ(inside.bytes, 700000000u);
    EXPECT_EQ(inside.source, root + "/sys/fs/cgroup/memory/memory.limit_in_bytes");

    memory_limit const none = limit_on("4:memory:/a\n0::/a\n", hybrid_mounts,
                                       {{"/sys/fs/cgroup/memory/a/memory.limit_in_bytes", "9223372036854771712\n"},
                                        {"/sys/fs/cgroup/unified/a/memory.max", "max\n"}},
                                       root);
    EXPECT_EQ(none.bytes, 0u);
    EXPECT_EQ(limit_on("", "", {}, root).bytes, 0u);
}

// This process: never more than physical memory, and a limit always says what sets it.
TEST(MemoryLimit, TheProcessLimitIsAtMostPhysicalMemory)
{
    memory_limit const own = process_memory_limit();
    EXPECT_GT(own.bytes, 0u);
    EXPECT_LE(own.bytes, physical_memory_bytes());
    EXPECT_FALSE(own.source.empty());
}

}  // namespace

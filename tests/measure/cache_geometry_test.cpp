#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "measure/cache_geometry.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

void describe(test_support::temp_dir const& dir, std::string const& index, std::string const& level,
              std::string const& type, std::string const& size, std::string const& ways, std::string const& line)
{
    std::filesystem::create_directory(dir.file(index));
    test_support::write_file(dir.file(index + "/level"), level + "\n");
    test_support::write_file(dir.file(index + "/type"), type + "\n");
    test_support::write_file(dir.file(index + "/size"), size + "\n");
    test_support::write_file(dir.file(index + "/ways_of_associativity"), ways + "\n");
    test_support::write_file(dir.file(index + "/coherency_line_size"), line + "\n");
}

bool same(cache_geometry const& a, cache_geometry const& b)
{
    return a.size == b.size && a.ways == b.ways && a.line == b.line;
}

// The layout of /sys/devices/system/cpu/cpu0/cache: the instruction cache of level 1 is skipped.
TEST(CacheGeometry, ReadsTheDataCachesOfTheMachinesDescription)
{
    test_support::temp_dir dir;
    describe(dir, "index0", "1", "Instruction", "64K", "4", "64");
    describe(dir, "index1", "1", "Data", "48K", "12", "64");
    describe(dir, "index2", "2", "Unified", "2048K", "16", "64");
    describe(dir, "index3", "3", "Unified", "bogus", "16", "64");
    EXPECT_TRUE(same(machine_cache(dir.file(""), 1), cache_geometry{48 * 1024, 12, 64}));
    EXPECT_TRUE(same(machine_cache(dir.file(""), 2), cache_geometry{2 * 1024 * 1024, 16, 64}));
    // An unreadable size, a missing level and a missing folder give no geometry at all.
    EXPECT_TRUE(same(machine_cache(dir.file(""), 3), cache_geometry{}));
    EXPECT_TRUE(same(machine_cache(dir.file(""), 4), cache_geometry{}));
    EXPECT_TRUE(same(machine_cache(dir.file("missing"), 1), cache_geometry{}));
}

TEST(CacheGeometry, RefusesWhatTheSimulatorCannotModel)
{
    EXPECT_EQ(geometry_problem({32768, 8, 64}), "");
    EXPECT_EQ(geometry_problem({49152, 12, 64}), "");     // 64 sets
    EXPECT_EQ(geometry_problem({3145728, 12, 64}), "");   // 4096 sets
    EXPECT_NE(geometry_problem({3000000, 16, 64}).find("set count"), std::string::npos);
    EXPECT_NE(geometry_problem({49152, 8, 64}).find("set count"), std::string::npos);  // 96 sets
    EXPECT_NE(geometry_problem({32768, 8, 48}).find("not a power of two"), std::string::npos);
    EXPECT_NE(geometry_problem({32768, 8, 8}).find("below 32"), std::string::npos);
    EXPECT_NE(geometry_problem({32768, 8, 16}).find("below 32"), std::string::npos);
    EXPECT_NE(geometry_problem({std::uint64_t{1} << 31, 8, 64}).find("below 2 GiB"), std::string::npos);
    EXPECT_EQ(geometry_problem({std::uint64_t{1} << 30, 8, 64}), "");
    EXPECT_NE(geometry_problem({64, 1, 64}).find("more than one line"), std::string::npos);
    EXPECT_NE(geometry_problem({1024, 32, 64}).find("more than the cache's 16 lines"), std::string::npos);
    EXPECT_NE(geometry_problem({32768, 0, 64}).find("positive"), std::string::npos);
    EXPECT_EQ(geometry_text({2097152, 16, 64}), "2097152/16/64");
}

}  // namespace

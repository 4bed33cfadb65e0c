#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "auto_array/aarray.hpp"
#include "items/element.hpp"
#include "items/record.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using auto_array::map_array;
using test_support::counting_bytes;
using test_support::exists;
using test_support::slurp;
using test_support::temp_dir;
using test_support::write_file;

namespace flag = auto_array::flag;

constexpr int read_write = flag::readable | flag::writable;
constexpr int create_read_write = flag::create | read_write;
// The fixed line, then the reason.
std::string mapping_failure(std::string const& reason)
{
    return "Fatal error: unable to create mapping of file '.*'!\n" + reason;
}

TEST(MapArray, CountZeroMapsEveryWholeItemOfTheFile)
{
    temp_dir dir;
    std::string const path = dir.file("items");
    std::string const bytes = counting_bytes(4096);
    write_file(path, bytes);

    map_array<int> ints(path.c_str(), read_write, 0, 0);
    EXPECT_EQ(ints.Count(), 1024u);
    EXPECT_EQ(std::memcmp(ints.Data(), bytes.data(), 4096), 0);
    EXPECT_EQ(map_array<element>(path.c_str(), read_write, 0, 0).Count(), 256u);
    map_array<record> records(path.c_str(), read_write, 0, 0);
    EXPECT_EQ(records.Count(), 40u);  // the last 96 bytes hold no whole record
    EXPECT_EQ(std::memcmp(records.Data()[39].bytes, bytes.data() + 3900, 100), 0);

    // An offset that is no multiple of the page size: data lies inside the page below it.
    map_array<int> from_tenth(path.c_str(), read_write, 0, 10);
    EXPECT_EQ(from_tenth.Count(), 1014u);
    EXPECT_EQ(std::memcmp(from_tenth.Data(), bytes.data() + 40, 1014 * sizeof(int)), 0);
}

TEST(MapArray, StoresReachTheFileAndOnlyTheMappedBytesChange)
{
    temp_dir dir;
    std::string const path = dir.file("items");
    std::string const before = counting_bytes(10000);
    write_file(path, before);
    {
        map_array<std::uint32_t> words(path.c_str(), create_read_write, 3, 1000);  // bytes 4000 to 4011
        for (unsigned long i = 0; i < words.Count(); ++i) words.Data()[i] = 0xdeadbeef;
    }
    std::string expected = before;
    for (std::size_t i = 0; i < 3; ++i) std::memcpy(&expected[4000 + 4 * i], "\xef\xbe\xad\xde", 4);
    EXPECT_EQ(slurp(path), expected);  // neither shortened nor otherwise touched
}

TEST(MapArray, ANewOrShortFileGrowsToExactlyTheMappedItems)
{
    temp_dir dir;
    std::string const fresh = dir.file("fresh");
    {
        map_array<element> items(fresh.c_str(), flag::create | flag::writable, 5, 2);
        ASSERT_EQ(items.Count(), 5u);
        items.Data()[4].key = 77;
    }
    std::string const written = slurp(fresh);
    ASSERT_EQ(written.size(), 7 * sizeof(element));
    element last;
    std::memcpy(&last, written.data() + 6 * sizeof(element), sizeof last);
    EXPECT_EQ(last.key, 77u);
    EXPECT_EQ(written.substr(0, 16), std::string(16, '\0'));

    std::string const short_file = dir.file("short");
    write_file(short_file, "abc");
    { map_array<int> items(short_file.c_str(), flag::create | flag::writable, 2, 0); }
    EXPECT_EQ(slurp(short_file), std::string("abc") + std::string(5, '\0'));
}

TEST(MapArray, CopiesShareTheMappingAndTheLastOneRemovesAScratchFile)
{
    temp_dir dir;
    std::string const path = dir.file("scratch");
    {
        map_array<int> outer(path.c_str(), create_read_write | flag::scratch, 100, 0);
        {
            map_array<int> copy = outer;
            map_array<int> assigned(path.c_str(), create_read_write, 1, 0);
            assigned = copy;
            EXPECT_EQ(assigned.Data(), outer.Data());
            assigned.Data()[99] = 5;
        }
        EXPECT_TRUE(exists(path));
        EXPECT_EQ(outer.Data()[99], 5);  // still mapped after the copies went
    }
    EXPECT_FALSE(exists(path));

    // Without create, scratch only drops the pages: the file and what was written stay.
    std::string const kept = dir.file("kept");
    write_file(kept, counting_bytes(8));
    {
        map_array<char> bytes(kept.c_str(), read_write | flag::scratch, 0, 0);
        bytes.Data()[0] = 'x';
    }
    EXPECT_EQ(slurp(kept), "x" + counting_bytes(8).substr(1));
}

TEST(MapArrayDeathTest, WhatCannotBeMappedEndsTheProcessWithTheReasonAndLeavesNoNewFile)
{
    temp_dir dir;
    std::string const missing = dir.file("missing");
    EXPECT_EXIT(map_array<int>(missing.c_str(), read_write, 10, 0), testing::ExitedWithCode(1),
                mapping_failure("No such file or directory"));
    EXPECT_EXIT(map_array<int>(missing.c_str(), create_read_write, 0, 0), testing::ExitedWithCode(1),
                mapping_failure("No such file or directory"));
    // A count whose bytes do not fit an unsigned long: what a negative size becomes.
    EXPECT_EXIT(map_array<int>(missing.c_str(), create_read_write, static_cast<unsigned long>(-1), 0),
                testing::ExitedWithCode(1), mapping_failure("size must be at most 2305843009213693951 items"));
    // More bytes than any file can hold.
    EXPECT_EXIT(map_array<char>(missing.c_str(), create_read_write, 1ul << 63, 0), testing::ExitedWithCode(1),
                mapping_failure("size must be at most 9223372036854775807 items"));
    EXPECT_FALSE(exists(missing));

    std::string const too_short = dir.file("short");
    write_file(too_short, "abc");
    EXPECT_EXIT(map_array<int>(too_short.c_str(), create_read_write, 0, 0), testing::ExitedWithCode(1),
                mapping_failure("size must be at least one item"));
    EXPECT_EQ(slurp(too_short), "abc");

    std::string const fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EXIT(map_array<int>(fifo.c_str(), create_read_write, 10, 0), testing::ExitedWithCode(1),
                mapping_failure("not a regular file"));
    EXPECT_EXIT(map_array<int>(dir.file("").c_str(), create_read_write, 10, 0), testing::ExitedWithCode(1),
                mapping_failure("Is a directory"));
}

// The constructor on an open file reports by exception and leaves the file to its caller.
TEST(MapArray, AnOpenFileThatCannotBeMappedThrowsTheReason)
{
    temp_dir dir;
    std::string const fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int const fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    try {
        map_array<int>(fd, read_write, 10);
        ADD_FAILURE() << "a FIFO was mapped";
    } catch (auto_array::mapping_error const& e) {
        EXPECT_STREQ(e.what(), "not a regular file");
    }
    close(fd);
}

// Sets a limit in the process that is about to fail.
void limit(int resource, rlim_t bytes)
{
    rlimit const l{bytes, bytes};
    setrlimit(resource, &l);
}

TEST(MapArrayDeathTest, AFileSizeLimitFailsCleanlyBeforeAnythingIsWritten)
{
    constexpr rlim_t file_limit = 64 * 1024;
    temp_dir dir;
    std::string const fresh = dir.file("fresh");
    EXPECT_EXIT(
        {
            limit(RLIMIT_FSIZE, file_limit);
            map_array<int>(fresh.c_str(), create_read_write, file_limit, 0);
        },
        testing::ExitedWithCode(1), mapping_failure("File too large"));
    EXPECT_FALSE(exists(fresh));

    std::string const existing = dir.file("existing");
    std::string const before = counting_bytes(1000);
    write_file(existing, before);
    EXPECT_EXIT(
        {
            limit(RLIMIT_FSIZE, file_limit);
            map_array<int>(existing.c_str(), create_read_write, file_limit, 0);
        },
        testing::ExitedWithCode(1), mapping_failure("File too large"));
    EXPECT_EQ(slurp(existing), before);
}

#ifndef KIT_SANITIZED_BUILD  // the sanitizers need more address space than the limit leaves
TEST(MapArrayDeathTest, AMappingTheAddressSpaceCannotHoldGivesBackTheFileAsItWas)
{
    constexpr rlim_t address_space = 256ul << 20;
    constexpr unsigned long mapped_bytes = 512ul << 20;  // reserved on disk, then too big to map
    temp_dir dir;
    std::string const existing = dir.file("existing");
    write_file(existing, "abc");
    EXPECT_EXIT(
        {
            limit(RLIMIT_AS, address_space);
            map_array<char>(existing.c_str(), create_read_write, mapped_bytes, 0);
        },
        testing::ExitedWithCode(1), mapping_failure("Cannot allocate memory"));
    EXPECT_EQ(slurp(existing), "abc");

    std::string const fresh = dir.file("fresh");
    EXPECT_EXIT(
        {
            limit(RLIMIT_AS, address_space);
            map_array<char>(fresh.c_str(), create_read_write, mapped_bytes, 0);
        },
        testing::ExitedWithCode(1), mapping_failure("Cannot allocate memory"));
    EXPECT_FALSE(exists(fresh));
}
#endif

}  // namespace

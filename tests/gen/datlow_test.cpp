#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "items/element.hpp"
#include "items/record.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/process.hpp"

namespace {

using test_support::exists;
using test_support::process_result;
using test_support::slurp;
using test_support::temp_dir;
using test_support::write_file;

process_result datlow(std::vector<std::string> const& args) { return test_support::run_program(DATLOW_PATH, args); }

// Runs datlow in a child limited to file_limit bytes per file; only its status and standard
// error are kept.
process_result datlow_with_file_limit(rlim_t file_limit, std::vector<std::string> args, std::string const& err_path)
{
    process_result result;
    pid_t const pid = fork();
    if (pid == 0) {
        rlimit const limit{file_limit, file_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
        int const err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(DATLOW_PATH)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(DATLOW_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.err = slurp(err_path);
    std::remove(err_path.c_str());
    return result;
}

template <typename T>
std::vector<T> items_of(std::string const& path)
{
    std::string const bytes = slurp(path);
    std::vector<T> items(bytes.size() / sizeof(T));
    std::memcpy(items.data(), bytes.data(), items.size() * sizeof(T));
    return items;
}

std::string const usage =
    "datlow -e{i|p|r} -d{u|m|M|d|D|e|t|k} size name\n"
    "\n"
    "  u: uniform distribution\n"
    "  m: almost sorted; missing merge-phase; log(size) runs\n"
    "  M: almost sorted; missing merge-phase; sqrt(size) runs\n"
    "  d: almost sorted; distributed; log(size) sized bucket\n"
    "  D: almost sorted; distributed; sqrt(size) sized  bucket\n"
    "  e: few distinct; log(size) distinct elements\n"
    "  E: few distinct; sqrt(size) distinct elements\n"
    "  t: unbalanced\n"
    "  k: partition killer\n";

std::string mapping_failure(std::string const& path)
{
    return "Fatal error: unable to create mapping of file '" + path + "'!\n";
}

TEST(Datlow, WritesEveryTypeInEveryDistribution)
{
    temp_dir dir;
    struct type_t {
        char const* arg;
        std::size_t size;
    };
    for (type_t type : {type_t{"-ei", 4}, type_t{"-ep", 16}, type_t{"-er", 100}}) {
        for (char const* dist : {"-du", "-dm", "-dM", "-dd", "-dD", "-de", "-dR", "-dk"}) {
            // 2 items give a parameter of 0 to the log-based letters.
            for (std::size_t n : {2u, 1000u}) {
                std::string const path = dir.file(std::string(type.arg) + dist + std::to_string(n));
                process_result const result = datlow({type.arg, dist, std::to_string(n), path});
                EXPECT_EQ(result.status, 0) << type.arg << dist << " " << n << ": " << result.err;
                EXPECT_EQ(result.err, "");
                EXPECT_EQ(slurp(path).size(), n * type.size) << type.arg << dist << " " << n;
            }
        }
    }
}

TEST(Datlow, PartitionKillerIsAFixedPermutationOfOneToN)
{
    temp_dir dir;
    ASSERT_EQ(datlow({"-ep", "-dk", "100", dir.file("first")}).status, 0);
    ASSERT_EQ(datlow({"-ep", "-dkx", "100", dir.file("second")}).status, 0);  // letters after the third are ignored
    std::vector<element> const items = items_of<element>(dir.file("first"));
    ASSERT_EQ(items.size(), 100u);
    std::vector<std::uint64_t> keys;
    for (element const& e : items) {
        keys.push_back(e.key);
        EXPECT_EQ(e.payload, nullptr);
    }
    EXPECT_FALSE(std::is_sorted(keys.begin(), keys.end()));
    std::sort(keys.begin(), keys.end());
    std::vector<std::uint64_t> one_to_n(100);
    std::iota(one_to_n.begin(), one_to_n.end(), 1u);
    EXPECT_EQ(keys, one_to_n);
    EXPECT_EQ(slurp(dir.file("first")), slurp(dir.file("second")));
}

TEST(Datlow, StructuredDistributionsReachTheFile)
{
    temp_dir dir;
    // 10000 ints with sqrt-based few distinct values: a table of 100.
    ASSERT_EQ(datlow({"-ei", "-dR", "10000", dir.file("few")}).status, 0);
    std::vector<int> const few = items_of<int>(dir.file("few"));
    std::set<int> const distinct(few.begin(), few.end());
    EXPECT_LE(distinct.size(), 100u);
    EXPECT_GT(distinct.size(), 90u);

    // 1000 elements in sqrt-sized buckets: 31 items each, the buckets ascending.
    ASSERT_EQ(datlow({"-ep", "-dD", "1000", dir.file("buckets")}).status, 0);
    std::vector<element> const buckets = items_of<element>(dir.file("buckets"));
    for (std::size_t i = 31; i < buckets.size(); ++i) {
        ASSERT_GE(buckets[i].key, buckets[i / 31 * 31 - 1].key) << i;
    }
}

TEST(Datlow, WrongArgumentsPrintTheUsageAndTouchNoFile)
{
    temp_dir dir;
    std::string const path = dir.file("never");
    std::vector<std::vector<std::string>> const wrong = {
        {"-ex", "-du", "10", path}, {"-ei", "-du", "10"},         {"-e", "-du", "10", path},
        {"-ii", "-du", "10", path}, {"-ei", "-xu", "10", path},   {"-ei", "-du", "10", path, "extra"},
        {},
    };
    for (auto const& args : wrong) {
        process_result const result = datlow(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, usage);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(exists(path));
}

TEST(Datlow, UnknownDistributionsAreReportedAfterTheFileIsMade)
{
    temp_dir dir;
    for (char const* dist : {"-dE", "-dt", "-d", "-dx"}) {
        std::string const path = dir.file(dist);
        process_result const result = datlow({"-ei", dist, "10", path});
        EXPECT_EQ(result.status, 1) << dist;
        EXPECT_EQ(result.err, "Exception in datlow: Unknown distribution\n") << dist;
        EXPECT_EQ(slurp(path), std::string(40, '\0')) << "made and sized, nothing written";
    }
}

TEST(Datlow, AnExistingFileKeepsWhatLiesBeyondTheItems)
{
    temp_dir dir;
    std::string const path = dir.file("existing");
    std::string const before = test_support::counting_bytes(100);
    write_file(path, before);
    ASSERT_EQ(datlow({"-ei", "-du", "10", path}).status, 0);
    std::string const after = slurp(path);
    ASSERT_EQ(after.size(), 100u);
    EXPECT_EQ(after.substr(40), before.substr(40));
    EXPECT_NE(after.substr(0, 40), before.substr(0, 40));
}

TEST(Datlow, SizeZeroMapsTheWholeExistingFile)
{
    temp_dir dir;
    std::string const path = dir.file("existing");
    std::string const before = test_support::counting_bytes(4096 + 10);  // 256 elements and a tail
    write_file(path, before);

    ASSERT_EQ(datlow({"-ep", "-du", "0", path}).status, 0);
    EXPECT_EQ(slurp(path), before) << "the uniform loop counts with the size argument";

    ASSERT_EQ(datlow({"-ep", "-dm", "0", path}).status, 0);
    std::string const after = slurp(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(4096), before.substr(4096));
    std::vector<element> const items = items_of<element>(path);
    // 256 items, trunc(log 256) = 5 runs: 52, 51, 51, 51 sorted, the last 51 as drawn.
    std::size_t start = 0;
    for (std::size_t length : {52u, 51u, 51u, 51u}) {
        EXPECT_TRUE(std::is_sorted(items.begin() + static_cast<long>(start),
                                   items.begin() + static_cast<long>(start + length)));
        start += length;
    }
    for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(items[i].payload, reinterpret_cast<void*>(0xbaadf00d));
}

TEST(Datlow, WhatCannotBeMappedFailsCleanlyAndLeavesNoNewFile)
{
    temp_dir dir;
    std::string const missing = dir.file("missing");
    for (char const* size : {"0", "-1", "-2147483648"}) {
        process_result const result = datlow({"-ep", "-du", size, missing});
        EXPECT_EQ(result.status, 1) << size;
        EXPECT_EQ(result.err, mapping_failure(missing)) << size;
        EXPECT_FALSE(exists(missing)) << size;
    }
    std::string const in_no_directory = dir.file("none/file");
    EXPECT_EQ(datlow({"-ei", "-du", "10", in_no_directory}).err, mapping_failure(in_no_directory));
}

TEST(Datlow, AFileSizeLimitEndsInTheMappingMessage)
{
    constexpr rlim_t file_limit = 1 << 20;
    temp_dir dir;
    std::string const fresh = dir.file("fresh");
    process_result const refused = datlow_with_file_limit(file_limit, {"-ep", "-du", "100000", fresh}, dir.file("err"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, mapping_failure(fresh));
    EXPECT_FALSE(exists(fresh));

    std::string const existing = dir.file("existing");
    std::string const before = test_support::counting_bytes(1000);
    write_file(existing, before);
    process_result const kept = datlow_with_file_limit(file_limit, {"-er", "-dk", "100000", existing}, dir.file("err"));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, mapping_failure(existing));
    EXPECT_EQ(slurp(existing), before);

    // Within the limit the same run succeeds.
    EXPECT_EQ(datlow_with_file_limit(file_limit, {"-ep", "-du", "1000", fresh}, dir.file("err")).status, 0);
    EXPECT_EQ(slurp(fresh).size(), 16000u);
}

}  // namespace

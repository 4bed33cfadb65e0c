#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Runs datlow in a child that first lowers the limit of resource to bytes.
process_result datlow_limited(int resource, rlim_t bytes, std::vector<std::string> const& args)
{
    return test_support::run_limited(DATLOW_PATH, resource, bytes, args);
}

// The names in the folder of path, so that a scratch file left behind shows.
std::vector<std::string> folder_of(std::string const& path)
{
    std::vector<std::string> names;
    for (auto const& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A small tmpfs at the folder path, mounted in a mount namespace of this test process's own, so
// that it is seen by this process and its children only.
class small_file_system {
public:
    small_file_system(std::string path, char const* size) : path(std::move(path))
    {
        std::filesystem::create_directory(this->path);
        std::string const options = std::string("size=") + size;
        is_mounted = unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                     mount("tmpfs", this->path.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~small_file_system()
    {
        if (is_mounted) umount2(path.c_str(), MNT_DETACH);
    }
    small_file_system(small_file_system const&) = delete;
    small_file_system& operator=(small_file_system const&) = delete;

    bool mounted() const { return is_mounted; }
    std::string file(std::string const& name) const { return path + "/" + name; }

private:
    std::string path;
    bool is_mounted = false;
};

// Waits until ready holds or the child has ended; false in the second case.
bool wait_for(test_support::child_process const& child, std::function<bool()> const& ready)
{
    while (!ready()) {
        if (!child.running()) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Whether the process has mapped a file of the folder (with its trailing slash): its scratch
// file, which it is filling.
bool maps_file_in(pid_t pid, std::string const& folder)
{
    return slurp("/proc/" + std::to_string(pid) + "/maps").find(folder) != std::string::npos;
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

std::string const size_rule = "size must be a whole number from 0 to 2147483647 (0: every item of the existing file)\n";

std::string mapping_failure(std::string const& path, std::string const& reason)
{
    return "Fatal error: unable to create mapping of file '" + path + "'!\n" + reason + "\n";
}

TEST(Datlow, AnswersHelpAndVersionOnStandardOutput)
{
    process_result const refused = datlow({});
    for (char const* help : {"-h", "--help"}) {
        process_result const result = datlow({help});
        EXPECT_EQ(result.status, 0) << help;
        EXPECT_EQ(result.out, refused.err) << help;
    }
    process_result const version = datlow({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("datlow 1.0.0", 0), 0u) << version.out;
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
    // Made under a private scratch name, the file still gets the permissions of any new file.
    mode_t const mask = umask(0);
    umask(mask);
    EXPECT_EQ(std::filesystem::status(dir.file("-ei-du2")).permissions(),
              static_cast<std::filesystem::perms>(0666 & ~mask));
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
        {"-ii", "-du", "10", path}, {"-ei", "-xu", "10", path},   {"-ei", "-du", "10", path, "1", "extra"},
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

TEST(Datlow, SizesOtherThanAPlainDecimalCountAreRefusedBeforeAnyFileIsTouched)
{
    temp_dir dir;
    std::string const existing = dir.file("existing");
    std::string const before = test_support::counting_bytes(4096);
    write_file(existing, before);
    for (char const* size : {"4294967306", "2147483648", "1e3", "10abc", "abc", "-1", "+5", "00", " 5", ""}) {
        for (std::string const& path : {existing, dir.file("new")}) {
            process_result const result = datlow({"-ei", "-dm", size, path});
            EXPECT_EQ(result.status, 1) << size;
            EXPECT_EQ(result.err, usage + size_rule) << size;
        }
    }
    EXPECT_EQ(slurp(existing), before);
    EXPECT_EQ(folder_of(existing), std::vector<std::string>{"existing"});
}

TEST(Datlow, UnknownDistributionsAreRefusedBeforeAnyFileIsTouched)
{
    temp_dir dir;
    std::string const existing = dir.file("existing");
    std::string const before = test_support::counting_bytes(32);
    write_file(existing, before);
    for (std::string const dist : {"-dE", "-dt", "-d", "-dx"}) {
        for (std::string const& path : {existing, dir.file("new")}) {
            process_result const result = datlow({"-ei", dist, "10", path});
            EXPECT_EQ(result.status, 1) << dist;
            EXPECT_EQ(result.err, "Exception in datlow: Unknown distribution '" + dist.substr(2) +
                                      "'; the letters that work: u m M d D e R k\n");
        }
    }
    EXPECT_EQ(slurp(existing), before);
    EXPECT_EQ(folder_of(existing), std::vector<std::string>{"existing"});
}

#ifndef KIT_SANITIZED_BUILD  // the sanitizers need more address space than the limit leaves
TEST(Datlow, AKillerTableThatDoesNotFitLeavesTheFileAsItWas)
{
    // 32M ints: the items (128 MB) fit in the limit, the killer's index table (256 MB) does not.
    constexpr rlim_t address_space = 256ul << 20;
    temp_dir dir;
    std::string const existing = dir.file("existing");
    std::string const before = test_support::counting_bytes(1000);
    write_file(existing, before);
    process_result const result = datlow_limited(RLIMIT_AS, address_space, {"-ei", "-dk", "33554432", existing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Exception in datlow: std::bad_alloc\n");
    EXPECT_EQ(slurp(existing), before);
    EXPECT_EQ(folder_of(existing), std::vector<std::string>{"existing"});
}
#endif

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

TEST(Datlow, WhatCannotBeWrittenFailsWithTheReasonAndLeavesNoNewFile)
{
    temp_dir dir;
    std::string const missing = dir.file("missing");
    process_result const result = datlow({"-ep", "-dm", "0", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, mapping_failure(missing, "No such file or directory (a size of 0 rewrites the items of an "
                                                   "existing file)"));

    std::string const in_no_folder = dir.file("none/file");
    EXPECT_EQ(datlow({"-ei", "-du", "10", in_no_folder}).err,
              mapping_failure(in_no_folder, "cannot make a scratch file in the folder '" + dir.file("none") +
                                                "': No such file or directory"));
    std::string const folder = dir.file("folder");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(datlow({"-ei", "-du", "10", folder}).err, mapping_failure(folder, "Is a directory"));
    std::string const fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(datlow({"-ei", "-du", "10", fifo}).err, mapping_failure(fifo, "not a regular file"));
    std::string const too_short = dir.file("short");
    write_file(too_short, "abc");
    for (char const* const dist : {"-dm", "-du"}) {
        process_result const none = datlow({"-ei", dist, "0", too_short});
        EXPECT_EQ(none.status, 1) << dist;
        EXPECT_EQ(none.err, mapping_failure(too_short, "size must be at least one item")) << dist;
        EXPECT_EQ(slurp(too_short), "abc") << dist;
    }
    std::string const dangling = dir.file("dangling");
    ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(datlow({"-ei", "-du", "10", dangling}).err, mapping_failure(dangling, "a symbolic link to a missing file"));
    EXPECT_EQ(folder_of(missing), (std::vector<std::string>{"dangling", "fifo", "folder", "short"}));
}

// A file that may not be written, or a folder where no scratch file may be made, is refused with
// the one that stands in the way named.
TEST(Datlow, AReadOnlyFileOrFolderIsRefusedWithTheReason)
{
    temp_dir dir;
    std::string const read_only = dir.file("read-only");
    write_file(read_only, "abcd");
    chmod(read_only.c_str(), 0444);
    std::string const locked_folder = dir.file("locked");
    std::filesystem::create_directory(locked_folder);
    std::string const writable = locked_folder + "/writable";
    write_file(writable, "abcd");
    chmod(writable.c_str(), 0666);
    chmod(locked_folder.c_str(), 0555);
    // The super-user may write anything, so the run drops to an ordinary user first.
    chmod(std::filesystem::path(read_only).parent_path().c_str(), 0755);
    auto const as_nobody = [] {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(126);
    };
    std::pair<std::string, std::string> const cases[] = {
        {read_only, "Permission denied"},
        {writable, "cannot make a scratch file in the folder '" + locked_folder + "': Permission denied"},
    };
    for (auto const& [path, reason] : cases) {
        process_result const result = test_support::child_process(DATLOW_PATH, {"-ei", "-du", "1", path}, as_nobody).finish();
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_EQ(result.err, mapping_failure(path, reason));
        EXPECT_EQ(slurp(path), "abcd");
    }
    chmod(locked_folder.c_str(), 0755);
}

TEST(Datlow, AFileSizeLimitEndsInTheMappingMessageWithTheReason)
{
    constexpr rlim_t file_limit = 1 << 20;
    temp_dir dir;
    std::string const fresh = dir.file("fresh");
    process_result const refused = datlow_limited(RLIMIT_FSIZE, file_limit, {"-ep", "-du", "100000", fresh});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, mapping_failure(fresh, "File too large"));
    EXPECT_FALSE(exists(fresh));

    std::string const existing = dir.file("existing");
    std::string const before = test_support::counting_bytes(1000);
    write_file(existing, before);
    process_result const kept = datlow_limited(RLIMIT_FSIZE, file_limit, {"-er", "-dk", "100000", existing});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, mapping_failure(existing, "File too large"));
    EXPECT_EQ(slurp(existing), before);
    EXPECT_EQ(folder_of(existing), std::vector<std::string>{"existing"});

    // Within the limit the same run succeeds.
    EXPECT_EQ(datlow_limited(RLIMIT_FSIZE, file_limit, {"-ep", "-du", "1000", fresh}).status, 0);
    EXPECT_EQ(slurp(fresh).size(), 16000u);
}

TEST(Datlow, AFullDiskEndsInTheMappingMessageWithTheReason)
{
    temp_dir dir;
    small_file_system const disk(dir.file("small"), "1m");
    if (!disk.mounted()) GTEST_SKIP() << "no file system can be mounted here";
    std::string const existing = disk.file("existing");
    std::string const before = test_support::counting_bytes(1000);
    write_file(existing, before);
    for (std::string const& path : {existing, disk.file("fresh")}) {
        process_result const result = datlow({"-ep", "-du", "100000", path});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, mapping_failure(path, "No space left on device"));
    }
    EXPECT_EQ(slurp(existing), before);
    EXPECT_EQ(folder_of(existing), std::vector<std::string>{"existing"});
}

// Stopped while its items are made (by a signal it handles, or by SIGKILL, which it cannot), a run
// leaves no scratch file, no new file and an existing file as it was, length included; with
// standard error closed its message cannot land in the file either.
TEST(Datlow, AStoppedRunLeavesNoTraceAndExistingFilesAsTheyWere)
{
    struct stop {
        int signal;
        bool existing;
        bool error_closed;
        std::string message;  // without the file's name and the line's end
    };
    stop const stops[] = {
        {SIGINT, false, false, "datlow interrupted: nothing written to '"},
        {SIGKILL, false, false, ""},
        {SIGTERM, true, false, "datlow interrupted: 0 items written to '"},
        {SIGKILL, true, false, ""},
        {SIGINT, true, true, ""},
    };
    std::string const before = test_support::counting_bytes(1000);
    for (stop const& s : stops) {
        temp_dir dir;
        std::string const path = dir.file("data");
        if (s.existing) write_file(path, before);
        test_support::child_process run(DATLOW_PATH, {"-ei", "-du", "20000000", path}, [&] {
            if (s.error_closed) close(STDERR_FILENO);
        });
        ASSERT_TRUE(wait_for(run, [&] { return maps_file_in(run.id(), dir.file("")); })) << "the run mapped no file";
        kill(run.id(), s.signal);
        process_result const result = run.finish();
        std::string const which = std::to_string(s.signal) + (s.existing ? " existing" : " new");
        EXPECT_EQ(result.status, s.signal == SIGKILL ? -1 : 1) << which;
        EXPECT_EQ(result.err, s.message.empty() ? "" : s.message + path + "'\n") << which;
        if (s.existing) {
            EXPECT_TRUE(slurp(path) == before) << which << ": the file changed";
            EXPECT_EQ(folder_of(path), std::vector<std::string>{"data"}) << which;
        } else {
            EXPECT_TRUE(folder_of(path).empty()) << which;
        }
    }
}

// Two runs on the same new name: the one that ends first makes the file, the other fails and
// leaves it alone.
TEST(Datlow, OfTwoRunsOnOneNewNameTheLaterFailsAndKeepsTheOthersFile)
{
    temp_dir dir;
    std::string const path = dir.file("shared");
    test_support::child_process slow(DATLOW_PATH, {"-ei", "-du", "20000000", path});
    ASSERT_TRUE(wait_for(slow, [&] { return maps_file_in(slow.id(), dir.file("")); })) << "the run mapped no file";
    ASSERT_EQ(datlow({"-ei", "-du", "1000", path}).status, 0);
    std::string const first = slurp(path);
    process_result const result = slow.finish();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, mapping_failure(path, "another run made the file meanwhile; it is left as it is"));
    EXPECT_EQ(first.size(), 4000u);
    EXPECT_TRUE(slurp(path) == first) << "the first complete file was replaced";
    EXPECT_EQ(folder_of(path), std::vector<std::string>{"shared"});
}

// Names up to the file system's longest; a seed reproduces a file, and runs without one differ
// even within one second.
TEST(Datlow, TakesLongNamesAndAnOptionalSeed)
{
    temp_dir dir;
    std::string const longest = dir.file(std::string(255, 'n'));
    process_result const named = datlow({"-ep", "-dm", "100", longest});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(slurp(longest).size(), 1600u);

    // Sorted runs, whose distribution would otherwise seed drand48 from the clock in seconds.
    for (char const* name : {"a", "b"}) ASSERT_EQ(datlow({"-ep", "-dm", "1000", dir.file(name), "42"}).status, 0);
    for (char const* name : {"c", "d"}) ASSERT_EQ(datlow({"-ep", "-dm", "1000", dir.file(name)}).status, 0);
    EXPECT_EQ(slurp(dir.file("a")), slurp(dir.file("b")));
    EXPECT_NE(slurp(dir.file("c")), slurp(dir.file("d")));
    EXPECT_NE(slurp(dir.file("a")), slurp(dir.file("c")));
    for (char const* seed : {"4294967296", "12x"}) {
        process_result const refused = datlow({"-ei", "-du", "10", dir.file("e"), seed});
        EXPECT_EQ(refused.status, 1) << seed;
        EXPECT_EQ(refused.err, usage + "seed must be a whole number from 0 to 4294967295\n") << seed;
    }
    EXPECT_FALSE(exists(dir.file("e")));
}

TEST(Datlow, ASecondWriterWaitsForTheLockOnAnExistingFile)
{
    temp_dir dir;
    std::string const existing = dir.file("existing");
    std::string const before = test_support::counting_bytes(1000);
    write_file(existing, before);
    int const held = open(existing.c_str(), O_RDONLY | O_CLOEXEC);  // a lock the child inherited would be its own
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    test_support::child_process run(DATLOW_PATH, {"-ei", "-du", "1000", existing});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(run.running());
    EXPECT_EQ(slurp(existing), before) << "written while another process held the file";
    close(held);
    process_result const result = run.finish();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "datlow: waiting for another process writing '" + existing + "'\n");
    std::string const after = slurp(existing);
    ASSERT_EQ(after.size(), 4000u);
    EXPECT_NE(after.substr(0, 1000), before);
}

TEST(Datlow, AWriterThatRunsOutOfSpaceNeverHarmsAnotherWritingTheSameNewFile)
{
    // Room for the 16 MB of the first writer, not for the 20 MB of the second as well.
    constexpr int tries = 5;
    temp_dir dir;
    small_file_system const disk(dir.file("small"), "18m");
    if (!disk.mounted()) GTEST_SKIP() << "no file system can be mounted here";
    std::string const path = disk.file("shared");
    for (int i = 0; i < tries; ++i) {
        std::filesystem::remove(path);
        test_support::child_process first(DATLOW_PATH, {"-ei", "-du", "4000000", path});
        process_result const second = datlow({"-ei", "-du", "5000000", path});
        process_result const result = first.finish();
        EXPECT_EQ(result.status, 0) << "try " << i << ": " << result.err;
        EXPECT_EQ(second.err, mapping_failure(path, "No space left on device")) << "try " << i;
        ASSERT_TRUE(exists(path)) << "try " << i;
        EXPECT_EQ(std::filesystem::file_size(path), 16000000u) << "try " << i;
        EXPECT_EQ(folder_of(path), std::vector<std::string>{"shared"}) << "try " << i;
    }
}

}  // namespace

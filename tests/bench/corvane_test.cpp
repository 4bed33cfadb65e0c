#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "bench/cache_simulation.hpp"
#include "bench/variants.hpp"
#include "measure/sys_names.hpp"
#include "tests/support/pattern.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

// The lines of a CSV report after its manifest ("# key: value" lines): the header row, then a row
// per run.
std::vector<std::string> csv_rows(std::string const& report)
{
    std::vector<std::string> lines = test_support::lines_of(report);
    auto const header = std::find_if(lines.begin(), lines.end(), [](std::string const& line) { return line.rfind("# ", 0) != 0; });
    EXPECT_NE(header, lines.begin()) << "no manifest";
    lines.erase(lines.begin(), header);
    return lines;
}

constexpr std::size_t run_count = 24;

// Runs corvane with args after the shell has run setup, which redirects or limits its output.
test_support::process_result corvane_after(std::string const& setup, std::vector<std::string> const& args)
{
    std::vector<std::string> shell_args = {"-c", setup + " exec \"$0\" \"$@\"", CORVANE_PATH};
    shell_args.insert(shell_args.end(), args.begin(), args.end());
    return test_support::run_program("/bin/sh", shell_args);
}

std::size_t count_of(std::string const& text, std::string const& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The real program, as it runs on this machine. Where the counter library starts, the document
// is complete: its runs hold measurements, or an error where counting is impossible (a machine
// without hardware counters). Where it does not start, nothing at all is written.
TEST(Corvane, WritesACompleteReportOrNothing)
{
#ifdef KIT_SANITIZED_BUILD
    GTEST_SKIP() << "with hardware counters the full benchmark takes too long under the sanitizers";
#endif
    auto const result = test_support::run_program(CORVANE_PATH, {});
    auto const lines = test_support::lines_of(result.out);
    if (result.status != 0) {
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("counter library could not be initialised"), std::string::npos) << result.err;
        return;
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");

    std::string const head_pattern = std::string("<benchmark date=\"[A-Z][a-z]{2} [ 123][0-9] [0-9]{4} ") +
                                     "[0-9]{2}:[0-9]{2}:[0-9]{2}\" os=\"([^\"]*)\" version=\"([^\"]*)\" host=\"(.*)\">";
    std::vector<std::string> const head = test_support::pattern(head_pattern).groups(lines[1]);
    ASSERT_FALSE(head.empty()) << lines[1];
    EXPECT_EQ(head[1], sys_names::os());
    EXPECT_EQ(head[2], sys_names::release());
    EXPECT_EQ(head[3], sys_names::host());
    EXPECT_EQ(lines.back(), "</benchmark>");

    test_support::pattern const result_line("\t\t(<time unit=\"s\">[0-9.e+-]+</time><l2misses>-?[0-9]+</l2misses><tlbmisses>-?"
                                 "[0-9]+</tlbmisses>|<error>Caught std::exception: [^<]*</error>)");
    std::size_t runs = 0;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("\t<run ", 0) == 0) {
            ++runs;
        } else if (lines[i].rfind("\t\t<size>", 0) != 0 && lines[i].rfind("\t\t<algorithm>", 0) != 0 &&
                   lines[i] != "\t</run>") {
            EXPECT_TRUE(result_line.matches(lines[i])) << lines[i];
        }
    }
    EXPECT_EQ(runs, run_count);
    EXPECT_EQ(lines.size(), 3 + run_count * 5);
}

// Whatever the machine offers, an experiment with counters as available has a time for every
// run and a verdict of the stronger check; a counter it cannot count is empty, with the reason.
TEST(CorvaneExperiment, CountersAsAvailableGiveATimeForEveryRun)
{
    auto const result = test_support::run_program(
        CORVANE_PATH, {"--counters=auto", "--format=csv", "--sizes=3000", "--repeat=2", "--input=sorted-swaps"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto const lines = csv_rows(result.out);
    ASSERT_EQ(lines.size(), 1u + 2 * 4);
    test_support::pattern const row("3000,(cached|uncached)-(stack|heap),[12],sorted-swaps,[0-9]+,[0-9.e+-]+,[0-9.e+-]+,"
                         "(-?[0-9]+)?,(-?[0-9]+)?,(PAPI_L2_DCM)?,(PAPI_TLB_TL|PAPI_TLB_DM)?,[^,]+,(yes|no|unknown),ok,,element,"
                         "[1-9][0-9]*,4,2\\.5(,[0-9.e+-]+){7},,");
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_TRUE(row.matches(lines[i])) << lines[i];
    // One line naming the counters, one per run, then the summary's title, header and a row per variant.
    EXPECT_EQ(test_support::lines_of(result.err).size(), 1u + 2 * 4 + 2 + 4) << result.err;
}

TEST(CorvaneExperiment, SortsAnElementFileWrittenByTheGenerator)
{
    test_support::temp_dir dir;
    std::string const file = dir.file("elements");
    ASSERT_EQ(test_support::run_program(DATLOW_PATH, {"-ep", "-dk", "5000", file}).status, 0);
    auto const result =
        test_support::run_program(CORVANE_PATH, {"--counters=none", "--input-file=" + file, "--sizes=1000,5000"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto const lines = test_support::lines_of(result.out);
    // The path of the temporary file holds letters, digits, '-' and '/' only.
    EXPECT_TRUE(test_support::pattern("\t<experiment counters=\"none\" virtualized=\"(yes|no|unknown)\" "
                                      "input=\"" + file + "\" repeat=\"1\"/>")
                    .matches(lines.at(2)))
        << lines.at(2);
    std::size_t checks = 0;
    for (std::string const& line : lines) {
        if (line.rfind("\t\t<check>", 0) == 0) {
            EXPECT_EQ(line, "\t\t<check>ok</check>");
            ++checks;
        }
    }
    EXPECT_EQ(checks, 2u * 4u);
    EXPECT_EQ(lines.back(), "</benchmark>");
}

// Every variant that sorts the type runs and is checked, one CSV row each; int and record files of
// the generator are read with their own item size.
TEST(CorvaneExperiment, SortsIntAndRecordItemsWithEveryVariantThatCan)
{
    test_support::temp_dir dir;
    for (auto const& [type, letter] : {std::pair<std::string, std::string>{"int", "-ei"}, {"record", "-er"}}) {
        item_type sorted = item_type::element;
        ASSERT_TRUE(find_item_type(type, sorted));
        std::vector<std::string> expected;
        for (variant const& v : all_variants()) {
            if (v.sorts(sorted)) expected.push_back(v.name);
        }
        auto const all = test_support::run_program(
            CORVANE_PATH, {"--counters=none", "--format=csv", "--sizes=2000", "--variants=all", "--type=" + type,
                           "--input=root-dups", "--sorts-per-measurement=1"});
        ASSERT_EQ(all.status, 0) << all.err;
        auto const rows = csv_rows(all.out);
        std::vector<std::string> ran;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            // The funnel variants carry their setting, the peers none; the movement columns follow.
            std::string const tail = rows[i].substr(rows[i].rfind(",ok,,"));
            EXPECT_TRUE(test_support::pattern(",ok,," + type + ",1,(4,2\\.5|,)(,[0-9.e+-]+){7},,").matches(tail)) << rows[i];
            std::size_t const name_at = rows[i].find(',') + 1;
            ran.push_back(rows[i].substr(name_at, rows[i].find(',', name_at) - name_at));
        }
        std::sort(ran.begin(), ran.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ran, expected) << type;
        std::string const file = dir.file(type);
        ASSERT_EQ(test_support::run_program(DATLOW_PATH, {letter, "-dD", "3000", file}).status, 0);
        auto const from_file = test_support::run_program(
            CORVANE_PATH, {"--counters=none", "--format=csv", "--type=" + type, "--input-file=" + file,
                           "--sorts-per-measurement=1"});
        ASSERT_EQ(from_file.status, 0) << from_file.err;
        EXPECT_EQ(count_of(from_file.out, "3000,"), 4u) << from_file.out;  // the whole file, by the four funnel variants
        EXPECT_EQ(count_of(from_file.out, ",ok,," + type), 4u) << from_file.out;
    }
    auto const refused = test_support::run_program(CORVANE_PATH, {"--type=record", "--variants=vqsort"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
}

// --format=json: one valid document, the manifest naming processor and compiler, every run with
// the CSV's cells (the seed a string, empty cells null); a file name with a quote, a backslash and
// a byte that begins no UTF-8 character stays valid JSON.
TEST(CorvaneExperiment, JsonIsOneValidDocumentWithTheManifestAndTheRuns)
{
    test_support::temp_dir dir;
    std::string const odd = dir.file("in \"x\\ \xff.dat");
    ASSERT_EQ(test_support::run_program(DATLOW_PATH, {"-ep", "-du", "500", odd}).status, 0);
    auto const from_file = test_support::run_program(
        CORVANE_PATH, {"--counters=none", "--format=json", "--input-file=" + odd, "--variants=std-sort"});
    ASSERT_EQ(from_file.status, 0) << from_file.err;
    EXPECT_NE(from_file.out.find("\"input\": \"" + dir.file("in \\\"x\\\\ \\ufffd.dat") + "\", \"seed\": null"),
              std::string::npos)
        << from_file.out;

    auto const result = test_support::run_program(
        CORVANE_PATH, {"--counters=none", "--format=json", "--sizes=700", "--repeat=2", "--seed=5",
                       "--variants=cached-stack", "--sorts-per-measurement=2"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("{\n  \"manifest\": {\n    \"processor\": \"", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\"compiler\": \"GNU C++ "), std::string::npos) << result.out;
    test_support::pattern const run("    \\{\"size\": 700, \"variant\": \"cached-stack\", \"repetition\": [12], \"input\": \"uniform\", "
                         "\"seed\": \"5\", \"seconds\": [0-9.e+-]+, \"ns_per_element\": [0-9.e+-]+, \"l2_misses\": null, "
                         "\"tlb_misses\": null, \"l2_event\": null, \"tlb_event\": null, \"counter_status\": \"[^\"]+\", "
                         "\"virtualized\": \"unknown\", \"check\": \"ok\", \"error\": null, \"type\": \"element\", "
                         "\"sorts_per_measurement\": 2, \"alpha\": 4, \"d\": 2.5(, \"[a-z_]+\": [0-9.e+-]+){7}, \"bound\": null, "
                         "\"misses_per_bound\": null\\},?");
    std::size_t runs = 0;
    for (std::string const& line : test_support::lines_of(result.out)) runs += run.matches(line) ? 1 : 0;
    EXPECT_EQ(runs, 2u) << result.out;

    if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed: the documents are not parsed";
    for (std::string const& document : {from_file.out, result.out}) {
        std::string const file = dir.file("report.json");
        std::ofstream(file) << document;
        auto const parsed = test_support::run_program("/usr/bin/python3", {"-m", "json.tool", file});
        EXPECT_EQ(parsed.status, 0) << parsed.err << document;
    }
}

// --help wins over whatever else is given, even a bad option.
TEST(CorvaneExperiment, HelpWritesTheUsage)
{
    for (auto const& args : {std::vector<std::string>{"--help"}, {"--counters=none", "--help"}, {"--help", "--frob"}}) {
        auto const result = test_support::run_program(CORVANE_PATH, args);
        EXPECT_EQ(result.status, 0) << args.back() << result.err;
        EXPECT_EQ(result.out.rfind("usage: corvane", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("--input-file=PATH"), std::string::npos);
    }
}

// Every bad option ends the program before it writes anything, with a message and the usage.
TEST(CorvaneExperiment, BadOptionsExitWithStatusTwoAndWriteNothing)
{
    test_support::temp_dir dir;
    test_support::write_file(dir.file("ragged"), std::string(17, 'x'));
    std::vector<std::vector<std::string>> const cases = {
        {"--frobnicate"},
        {"--sizes=0"},
        {"--sizes=100000000000000000"},
        {"--variants=cached-stack,turbo"},
        {"--input=normal"},
        {"--input-file=" + dir.file("missing")},
        {"--input-file=" + dir.file("ragged")},
        {"--counters=auto", "--format=yaml"},
        {"--counters=simulated", "--l2-size=3000000"},
        {"--seed=5", "--input-file=" + dir.file("ragged")},
    };
    for (auto const& args : cases) {
        auto const result = test_support::run_program(CORVANE_PATH, args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_EQ(result.out, "") << args.back();
        EXPECT_EQ(result.err.rfind("corvane: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("usage: corvane"), std::string::npos) << result.err;
    }
}

// The memory this process's cgroup has in the first hierarchy with a memory controller: the folder
// and its limit file, or empty where there is none.
std::pair<std::string, std::string> own_memory_cgroup()
{
    for (std::string const& line : test_support::lines_of(test_support::slurp("/proc/self/cgroup"))) {
        std::string const path = line.substr(line.rfind(':') + 1);
        if (line.find(":memory:") != std::string::npos) return {"/sys/fs/cgroup/memory" + path, "memory.limit_in_bytes"};
        if (line.rfind("0::", 0) == 0 &&
            test_support::slurp("/sys/fs/cgroup/cgroup.controllers").find("memory") != std::string::npos) {
            return {"/sys/fs/cgroup" + path, "memory.max"};
        }
    }
    return {};
}

// Sizes that fit physical memory but not the address space corvane may have, or not its memory
// cgroup, are refused before anything runs, with the limit named.
TEST(CorvaneExperiment, SizesBeyondTheProcesssMemoryLimitsAreRefused)
{
    std::vector<std::string> const args = {"--counters=none", "--sizes=40000000"};  // 1.28 GB for the arrays
#ifndef KIT_SANITIZED_BUILD  // the sanitizers need more address space than the limit leaves
    auto const limited = test_support::run_limited(CORVANE_PATH, RLIMIT_AS, rlim_t{1} << 30, args);
    EXPECT_EQ(limited.status, 2);
    EXPECT_EQ(limited.out, "");
    EXPECT_NE(limited.err.find("corvane: --sizes: 40000000 elements do not fit into this machine's memory (at most "
                               "33554432); the limit is RLIMIT_AS (ulimit -v), 1073741824 bytes"),
              std::string::npos)
        << limited.err;
#endif

    auto const [parent, limit_file] = own_memory_cgroup();
    std::string const group = parent + "/kit-test-" + std::to_string(getpid());
    if (parent.empty() || mkdir(group.c_str(), 0700) != 0) {
        GTEST_SKIP() << "no memory cgroup can be made here (" << (parent.empty() ? "no memory controller" : std::strerror(errno))
                     << "): the cgroup's limit is not tried";
    }
    test_support::write_file(group + "/" + limit_file, "268435456");
    std::string const member = group + "/cgroup.procs";
    // "0" moves the writer: the child, before it becomes corvane.
    test_support::process_result const inside = test_support::child_process(CORVANE_PATH, args, [&] {
                                                    int const fd = open(member.c_str(), O_WRONLY);
                                                    if (fd < 0 || write(fd, "0", 1) != 1) _exit(99);
                                                    close(fd);
                                                }).finish();
    rmdir(group.c_str());
    EXPECT_EQ(inside.status, 2);
    EXPECT_NE(inside.err.find("(at most 8388608); the limit is " + group + "/" + limit_file + ", 268435456 bytes"),
              std::string::npos)
        << inside.err;
}

// A report that does not reach its reader, on a full disk (/dev/full) or past a file size limit
// part-way through (whose signal would end the program without a word), ends in a failure status
// with a message and the system's reason, in every mode; what reached the file ends with a line.
TEST(Corvane, AReportThatCannotBeWrittenFails)
{
    std::string const full = "exec >/dev/full;";
    std::string const limited = "ulimit -f 1;";
    struct failing_case {
        std::string setup;
        std::vector<std::string> args;
    };
    std::vector<failing_case> const cases = {
        {full, {}},
        {full, {"--counters=none", "--sizes=1000"}},
        {full, {"--counters=none", "--sizes=1000", "--format=csv"}},
        {full, {"--help"}},
        {limited, {"--counters=none", "--sizes=300", "--repeat=30", "--format=csv"}},
    };
    for (failing_case const& c : cases) {
        auto const result = corvane_after(c.setup, c.args);
        // The fixed report stops earlier, for another reason, where the counter library cannot start.
        if (c.args.empty() && result.err.find("counter library could not be initialised") != std::string::npos) continue;
        EXPECT_EQ(result.status, 1) << c.setup << result.err;
        std::string const reason = c.setup == full ? "No space left on device" : "File too large";
        EXPECT_NE(result.err.find("corvane: the report could not be written to standard output: " + reason),
                  std::string::npos)
            << result.err;
        EXPECT_TRUE(result.out.empty() || result.out.back() == '\n') << result.out;
    }
}

// Items in the first block and a hole after them: a run reads them, and leaves the file's bytes,
// its blocks (no hole filled) and its modification time as they were.
TEST(CorvaneExperiment, NeverChangesItsInputFile)
{
    test_support::temp_dir dir;
    std::string const file = dir.file("sparse");
    constexpr std::size_t written = 4096;
    constexpr std::size_t length = 1 << 20;
    test_support::write_file(file, test_support::counting_bytes(written));
    ASSERT_EQ(truncate(file.c_str(), length), 0);
    timespec const long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), long_ago, 0), 0);
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);

    auto const result =
        test_support::run_program(CORVANE_PATH, {"--counters=none", "--input-file=" + file, "--variants=cached-heap"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(count_of(result.out, "<check>ok</check>"), 1u) << result.out;
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_blocks, before.st_blocks);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_TRUE(test_support::slurp(file) == test_support::counting_bytes(written) + std::string(length - written, '\0'));
}

// Reading is all corvane needs: a file on a read-only mount, which not even root can open for
// writing, is sorted like any other.
TEST(CorvaneExperiment, SortsAFileOnAReadOnlyMount)
{
    test_support::temp_dir dir;
    std::string const mount_point = dir.file("mount");
    ASSERT_EQ(mkdir(mount_point.c_str(), 0700), 0);
    if (mount("kit-test", mount_point.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    std::string const file = mount_point + "/elements";
    test_support::write_file(file, test_support::counting_bytes(16 * 1000));
    int const read_only = mount(nullptr, mount_point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    test_support::process_result result;
    if (read_only == 0) result = test_support::run_program(CORVANE_PATH, {"--counters=none", "--input-file=" + file});
    umount2(mount_point.c_str(), MNT_DETACH);
    ASSERT_EQ(read_only, 0) << std::strerror(errno);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(count_of(result.out, "<check>ok</check>"), 4u) << result.out;
}

// This test, a second process, shortens the input file while corvane runs. Standard output is a
// pipe that is already full, so corvane waits at its first report line: after it has opened the
// file and named its counters on standard error, before any run reads an item.
TEST(CorvaneExperiment, AnInputFileShortenedWhileItRunsIsAnError)
{
    test_support::temp_dir dir;
    std::string const file = dir.file("elements");
    test_support::write_file(file, test_support::counting_bytes(16 * 10000));
    int out[2];
    int err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(out[1], F_SETFL, O_NONBLOCK), 0);
    char const byte = 'x';
    std::size_t filler = 0;
    while (write(out[1], &byte, 1) == 1) ++filler;
    ASSERT_EQ(fcntl(out[1], F_SETFL, 0), 0);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::string program = CORVANE_PATH;
    std::string counters = "--counters=none";
    std::string input = "--input-file=" + file;
    char* argv[] = {program.data(), counters.data(), input.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);

    std::string said;
    char buffer[4096];
    ssize_t got = 0;
    while (said.find('\n') == std::string::npos && (got = read(err[0], buffer, sizeof buffer)) > 0) said.append(buffer, got);
    EXPECT_EQ(said.rfind("corvane: counters: ", 0), 0u) << said;
    ASSERT_EQ(truncate(file.c_str(), 16 * 100), 0);
    // Let it go on: empty its output, then take the rest of what it says.
    std::string report;
    while ((got = read(out[0], buffer, sizeof buffer)) > 0) report.append(buffer, got);
    while ((got = read(err[0], buffer, sizeof buffer)) > 0) said.append(buffer, got);
    close(out[0]);
    close(err[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string const reason =
        "--input-file: '" + file + "' ended after 1600 of the 160000 bytes to sort: another process shortened it";
    EXPECT_NE(said.find("corvane: " + reason), std::string::npos) << said;
    // The document is closed (the file was cut before the first run began, in the warm-up).
    report.erase(0, filler);
    EXPECT_EQ(report.substr(report.size() - std::min<std::size_t>(report.size(), 13)), "</benchmark>\n") << report;
}

// A stop signal during an experiment: the report is closed, whatever its format, and corvane ends
// by the signal. Only the run under way when it came may say "interrupted".
TEST(CorvaneExperiment, AStopSignalClosesTheReportInEveryFormat)
{
    if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed: the reports are not parsed";
    test_support::temp_dir dir;
    std::vector<std::pair<std::string, int>> const cases = {{"xml", SIGTERM}, {"csv", SIGINT}, {"json", SIGHUP}};
    for (auto const& [form, stop] : cases) {
        test_support::child_process corvane(CORVANE_PATH, {"--counters=none", "--format=" + form, "--sizes=1000",
                                                           "--repeat=100000", "--variants=std-sort,cached-stack",
                                                           "--sorts-per-measurement=300"});
        while (corvane.running() && corvane.err_so_far().find("corvane: run 2/") == std::string::npos) usleep(2000);
        kill(corvane.id(), stop);
        auto const result = corvane.finish();
        EXPECT_EQ(result.signal, stop) << form << result.err;
        EXPECT_NE(result.err.find("corvane: stopped by signal " + std::to_string(stop)), std::string::npos) << result.err;
        test_support::write_file(dir.file(form), result.out);
    }
    // For each report, a line with its format, then the error of every run, one line each.
    test_support::write_file(dir.file("errors.py"), R"(import csv, json, sys, xml.etree.ElementTree as xml
for path in sys.argv[1:]:
    form = path.rsplit("/", 1)[1]
    print(form)
    if form == "xml":
        errors = [run.findtext("error") or "" for run in xml.parse(path).getroot().iter("run")]
    elif form == "json":
        errors = [run["error"] or "" for run in json.load(open(path))["runs"]]
    else:
        rows = list(csv.reader(line for line in open(path) if not line.startswith("# ")))
        assert all(len(row) == len(rows[0]) for row in rows), "a cut row"
        errors = [row[rows[0].index("error")] for row in rows[1:]]
    print("\n".join(errors))
)");
    auto const parsed = test_support::run_program(
        "/usr/bin/python3", {dir.file("errors.py"), dir.file("xml"), dir.file("csv"), dir.file("json")});
    ASSERT_EQ(parsed.status, 0) << parsed.err;
    std::vector<std::string> const lines = test_support::lines_of(parsed.out);
    auto at = lines.begin();
    for (auto const& [form, stop] : cases) {
        ASSERT_TRUE(at != lines.end() && *at == form) << parsed.out;
        auto const next = std::find_if(at + 1, lines.end(), [](std::string const& line) {
            return line == "xml" || line == "csv" || line == "json";
        });
        std::vector<std::string> const errors(at + 1, next);
        ASSERT_GE(errors.size(), 2u) << form;
        EXPECT_TRUE(errors.back().empty() || errors.back().find("interrupted") != std::string::npos) << errors.back();
        EXPECT_EQ(std::count(errors.begin(), errors.end() - 1, ""), static_cast<std::ptrdiff_t>(errors.size() - 1)) << form;
        at = next;
    }
}

// A stand-in for valgrind, first in PATH: it lets the probe of corvane --help pass, and as a run's
// child notes its process id in the folder and sleeps.
std::string fake_valgrind(test_support::temp_dir const& dir)
{
    std::string const tools = dir.file("tools");
    mkdir(tools.c_str(), 0700);
    test_support::write_file(tools + "/valgrind", "#!/bin/sh\nfor last; do :; done\n[ \"$last\" = --help ] && exit 0\n"
                                                  "echo $$ > " + dir.file("child") + "\nexec sleep 600\n");
    chmod((tools + "/valgrind").c_str(), 0700);
    return tools;
}

// SIGINT, SIGTERM or SIGHUP while a simulated run's child runs, to corvane or (as a terminal's
// Ctrl-C) to its whole process group: the child is killed and reaped, its folder in TMPDIR
// removed, the report closed, and corvane ends by the signal.
TEST(CorvaneExperiment, AStopSignalEndsTheSimulatedRunsChildAndFolder)
{
    test_support::temp_dir dir;
    std::string const tools = fake_valgrind(dir);
    std::string const tmp = dir.file("tmp");
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    for (auto const& [stop, group] : {std::pair<int, bool>{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGINT, true}}) {
        std::remove(dir.file("child").c_str());
        test_support::child_process corvane(
            "/usr/bin/env",
            {"PATH=" + tools + ":/usr/bin:/bin", "TMPDIR=" + tmp, CORVANE_PATH, "--counters=simulated", "--sizes=1000",
             "--variants=std-sort", "--l1-size=32K", "--l1-ways=8", "--l1-line=64", "--l2-size=1M", "--l2-ways=16",
             "--l2-line=64"},
            [] { setpgid(0, 0); });
        for (int wait = 0; wait < 1000 && corvane.running() && test_support::slurp(dir.file("child")).empty(); ++wait) {
            usleep(5000);
        }
        pid_t const child = std::atoi(test_support::slurp(dir.file("child")).c_str());
        ASSERT_GT(child, 0) << corvane.finish().err;
        kill(group ? -corvane.id() : corvane.id(), stop);
        for (int wait = 0; wait < 1000 && corvane.running(); ++wait) usleep(5000);
        if (corvane.running()) kill(corvane.id(), SIGKILL);
        auto const result = corvane.finish();
        EXPECT_EQ(result.signal, stop) << result.err;
        EXPECT_NE(kill(child, SIGKILL), 0) << "the simulated run's child is left running";
        EXPECT_TRUE(std::filesystem::is_empty(tmp));
        EXPECT_NE(result.out.find("<error>Caught std::exception: interrupted</error>\n\t</run>\n</benchmark>\n"),
                  std::string::npos)
            << result.out;
    }
}

// One small run of each driver under valgrind's cache simulator at two sizes of the second level,
// end to end: a native time, both simulated counts, the TLB unavailable, the run checked, and the
// level-2 misses set against the model's bound for that size.
TEST(CorvaneExperiment, SimulatedCountersCountEveryRunUnderValgrind)
{
#ifdef KIT_SANITIZED_BUILD
    GTEST_SKIP() << "valgrind cannot run a program built with AddressSanitizer; the release build runs this test";
#endif
    char const* const path = std::getenv("PATH");
    if (find_program("valgrind", path != nullptr ? path : "").empty()) {
        GTEST_SKIP() << "valgrind is not installed (Debian package valgrind): the simulated counters cannot run";
    }
    // Some virtual machines hide instructions that the libraries' start-up code uses anyway (Highway's
    // timer reads rdtscp); valgrind then cannot run the program at all.
    std::string const valgrind = find_program("valgrind", path != nullptr ? path : "");
    auto const probe = test_support::run_program(valgrind, {"-q", "--tool=none", CORVANE_PATH, "--help"});
    if (probe.status != 0) {
        GTEST_SKIP() << "valgrind cannot run corvane on this machine:\n" << probe.err;
    }
    auto const result = test_support::run_program(
        CORVANE_PATH, {"--counters=simulated", "--format=csv", "--sizes=5000", "--variants=cached-stack,uncached-heap",
                       "--seed=11", "--l1-size=32K", "--l1-ways=8", "--l1-line=64", "--l2-size=64K,128K", "--l2-ways=4",
                       "--l2-line=64"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto const lines = csv_rows(result.out);
    ASSERT_EQ(lines.size(), 1u + 2 * 2) << result.out;
    test_support::pattern const row("5000,(cached-stack|uncached-heap),1,uniform,[0-9]+,[0-9.e+-]+,[0-9.e+-]+,([0-9]+),,"
                         "simulated_L2_DCM,,simulated_TLB: the cache simulator models no TLB,(yes|no|unknown),ok,,"
                         "([0-9]+),simulated_L1_DCM,32768/8/64,(65536|131072)/4/64,element,[1-9][0-9]*,4,2\\.5"
                         "(?:,[0-9.e+-]+){7},([0-9.e+]+),([0-9.e+-]+)");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> const m = row.groups(lines[i]);
        ASSERT_FALSE(m.empty()) << lines[i];
        // The 80 kB input does not fit the 64 KiB second level: at least one miss per line of it,
        // and the first level misses at least as often.
        std::uint64_t const l2 = std::stoull(m[2]);
        EXPECT_GE(l2, 5000u * 16 / 64);
        EXPECT_GE(std::stoull(m[4]), l2);
        // 1250 lines take log_1024(1250) passes of a 64 KiB cache, one pass of a 128 KiB one.
        double const bound = m[5] == "65536" ? 1250 * std::log(1250.0) / std::log(1024.0) : 1250.0;
        EXPECT_NEAR(std::stod(m[6]), bound, 1e-3 * bound) << lines[i];
        EXPECT_NEAR(std::stod(m[7]), static_cast<double>(l2) / bound, 1e-3 * static_cast<double>(l2) / bound);
    }
    // Every run's progress line names its cache and estimates the time left.
    auto const progress = test_support::lines_of(result.err);
    auto const runs = std::count_if(progress.begin(), progress.end(), [](std::string const& line) {
        return line.find(", L2 of ") != std::string::npos && line.find(" left") != std::string::npos;
    });
    EXPECT_EQ(runs, 2 * 2) << result.err;
}

// Before the first simulated run: a TMPDIR that cannot hold the runs' folders, and a valgrind that
// cannot run corvane (here a stand-in that fails as valgrind does on a machine that hides rdtscp),
// are refused with status 2, the folder named or valgrind's error line quoted; the probe leaves no
// folder behind.
TEST(CorvaneExperiment, SimulatedRunsThatCannotWorkAreRefusedBeforeTheFirst)
{
    test_support::temp_dir dir;
    std::string const tools = dir.file("tools");
    std::string const tmp = dir.file("tmp");
    ASSERT_EQ(mkdir(tools.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    test_support::write_file(tools + "/valgrind",
                             "#!/bin/sh\nfor a; do case $a in --log-file=*) log=${a#--log-file=};; esac; done\n"
                             "echo '==7== valgrind: Unrecognised instruction at address 0x4f4e522.' > \"$log\"\n"
                             "echo '==7== Process terminating with default action of signal 4 (SIGILL)' >> \"$log\"\n"
                             "kill -ILL $$\n");
    chmod((tools + "/valgrind").c_str(), 0700);
    auto const simulated = [&](std::string const& tmpdir) {
        return test_support::run_program("/usr/bin/env", {"PATH=" + tools + ":/usr/bin:/bin", "TMPDIR=" + tmpdir, CORVANE_PATH,
                                                          "--counters=simulated", "--sizes=1000", "--l1-size=32K",
                                                          "--l1-ways=8", "--l1-line=64", "--l2-size=1M", "--l2-ways=16",
                                                          "--l2-line=64"});
    };
    auto const missing = simulated(dir.file("missing"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind("corvane: --counters=simulated: the simulated runs cannot make a folder in '" +
                                    dir.file("missing") + "': No such file or directory",
                                0),
              0u)
        << missing.err;
    auto const failing = simulated(tmp);
    EXPECT_EQ(failing.status, 2);
    EXPECT_EQ(failing.out, "");
    EXPECT_EQ(failing.err.rfind("corvane: --counters=simulated: valgrind cannot run corvane on this machine (killed by "
                                "signal 4 (Illegal instruction)): valgrind: Unrecognised instruction at address 0x4f4e522.\n",
                                0),
              0u)
        << failing.err;
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
}

TEST(CorvaneExperiment, SimulatedCountersAreRefusedWithoutValgrind)
{
    test_support::temp_dir empty;
    auto const result =
        test_support::run_program("/usr/bin/env", {"PATH=" + empty.file(""), CORVANE_PATH, "--counters=simulated"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("install the package valgrind"), std::string::npos) << result.err;
}

}  // namespace

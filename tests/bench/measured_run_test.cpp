#include <algorithm>
#include <cstdint>
#include <malloc.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/measured_run.hpp"
#include "tests/measure/fake_counter_library.hpp"
#include "tests/support/pattern.hpp"
#include "tests/support/process.hpp"

namespace {

using fake_counters::call;
using strings = std::vector<std::string>;
using stream_iterator = sorted_stream<element>::iterator;

std::string const run_head = "\t<run buildtime=\"" __DATE__ " " __TIME__ "\" compiler=\"" + std::string(sys_names::compiler()) +
                             "\" execstatus=\"0\">";
std::string const failure_line = "\t\t<error>Caught std::exception: std::exception</error>";
std::string const run_end = "\t</run>";
// A line that starts with a measured time: the rest of the line is its group 1.
test_support::pattern const time_then_rest("\t\t<time unit=\"s\">[0-9.e+-]+</time>(.*)");

// A measurement line with the counts the stand-in library delivers.
test_support::pattern measurement(long long l2, long long tlb)
{
    return test_support::pattern("\t\t<time unit=\"s\">[0-9.e+-]+</time><l2misses>" + std::to_string(l2) +
                      "</l2misses><tlbmisses>" + std::to_string(tlb) + "</tlbmisses>");
}

void sort_into(element* first, element* last, stream_iterator into)
{
    std::sort(first, last);
    std::copy(first, last, into);
}

template <class Sort>
strings run_lines(std::uint64_t n, char const* algorithm, char const* label, Sort sort)
{
    std::ostringstream out;
    measured_run(out, n, algorithm, label, sort);
    return test_support::lines_of(out.str());
}

// Remembers where the text stood at every flush.
class flush_recorder : public std::stringbuf {
public:
    std::vector<std::size_t> flushed_at;

protected:
    int sync() override
    {
        flushed_at.push_back(str().size());
        return 0;
    }
};

TEST(MeasuredRun, WritesOneRunElementAroundTheSort)
{
    fake_counters::installed fake;
    fake_counters::current().l2 = 4242;
    fake_counters::current().tlb = -17;
    std::uint64_t sorted = 0;
    strings const lines = run_lines(1000, "Cached", "stack", [&](element* first, element* last, stream_iterator into) {
        fake_counters::current().log.push_back("sort");
        sorted = static_cast<std::uint64_t>(last - first);
        sort_into(first, last, into);
    });
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], run_head);
    EXPECT_EQ(lines[1], "\t\t<size>1000</size>");
    EXPECT_EQ(lines[2], "\t\t<algorithm>Cached stack</algorithm>");
    EXPECT_TRUE(measurement(4242, -17).matches(lines[3])) << lines[3];
    EXPECT_EQ(lines[4], run_end);
    EXPECT_EQ(sorted, 1000u);
    // The counters enclose the sort and are read after they stop; then the event set goes.
    EXPECT_EQ(fake_counters::current().log, (strings{"create", "add L2", "add TLB", "reset", "start", "sort", "stop",
                                                     "read", "remove TLB", "remove L2", "destroy"}));
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

TEST(MeasuredRun, LabelsTheUncachedVariant)
{
    fake_counters::installed fake;
    strings const lines = run_lines(5, "Not cached", "heap", sort_into);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "\t\t<algorithm>Not cached heap</algorithm>");
}

TEST(MeasuredRun, SortsFreshRandomElementsWithTheFixedPayload)
{
    fake_counters::installed fake;
    std::vector<element> seen;
    run_lines(2000, "Cached", "heap", [&](element* first, element* last, stream_iterator into) {
        seen.assign(first, last);
        sort_into(first, last, into);
    });
    ASSERT_EQ(seen.size(), 2000u);
    std::vector<std::uint64_t> keys;
    for (element const& e : seen) {
        EXPECT_EQ(e.payload, reinterpret_cast<void*>(static_cast<std::uintptr_t>(factory<element>::payload)));
        keys.push_back(e.key);
    }
    std::sort(keys.begin(), keys.end());
    // drand48 gives 2000 different keys spread over the whole 64-bit range.
    EXPECT_EQ(std::unique(keys.begin(), keys.end()), keys.end());
    EXPECT_GT(keys.back() - keys.front(), std::uint64_t{1} << 62);
}

TEST(MeasuredRun, WritesNothingWhileTheSortIsTimedAndFlushesEveryLine)
{
    fake_counters::installed fake;
    flush_recorder buffer;
    std::ostream out(&buffer);
    std::string during_sort;
    measured_run(out, 400, "Cached", "stack", [&](element* first, element* last, stream_iterator into) {
        during_sort = buffer.str();
        sort_into(first, last, into);
    });
    std::string const text = buffer.str();
    EXPECT_EQ(test_support::lines_of(during_sort).size(), 3u);
    ASSERT_FALSE(during_sort.empty());
    EXPECT_EQ(during_sort.back(), '\n');
    std::vector<std::size_t> line_ends;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') line_ends.push_back(i + 1);
    }
    EXPECT_EQ(buffer.flushed_at, line_ends);
}

TEST(MeasuredRun, ReportsALostKeyBeforeTheMeasurement)
{
    fake_counters::installed fake;
    std::uint64_t delivered = 0;
    std::uint64_t generated = 0;
    strings const lines = run_lines(300, "Cached", "stack", [&](element* first, element* last, stream_iterator into) {
        std::sort(first, last);
        for (element const* e = first; e != last; ++e) generated += e->key;
        for (element const* e = first + 1; e != last; ++e) delivered += e->key;
        std::copy(first + 1, last, into);  // drops the smallest element
    });
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "\t\t<error>Checksum error: (" + std::to_string(delivered) + ",0xbaadf00d) != (" +
                            std::to_string(generated) + ",0xbaadf00d)</error>");
    EXPECT_TRUE(measurement(0, 0).matches(lines[4])) << lines[4];
    EXPECT_EQ(lines[5], run_end);
}

TEST(MeasuredRun, OnlyLostKeysAreErrorsNotOrder)
{
    fake_counters::installed fake;
    testing::internal::CaptureStderr();
    strings const lines = run_lines(50, "Cached", "stack", [](element* first, element* last, stream_iterator into) {
        std::sort(first, last);
        std::reverse(first, last);
        std::copy(first, last, into);
    });
    std::string const messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines.size(), 5u);
    EXPECT_EQ(test_support::lines_of(messages).size(), 49u);
}

TEST(MeasuredRun, HandlesTheSmallestInputs)
{
    for (std::uint64_t const n : {std::uint64_t{0}, std::uint64_t{1}}) {
        fake_counters::installed fake;
        std::uint64_t sorted = n + 1;
        strings const lines = run_lines(n, "Cached", "stack", [&](element* first, element* last, stream_iterator into) {
            sorted = static_cast<std::uint64_t>(last - first);
            sort_into(first, last, into);
        });
        ASSERT_EQ(lines.size(), 5u) << n;
        EXPECT_EQ(lines[1], "\t\t<size>" + std::to_string(n) + "</size>");
        EXPECT_TRUE(measurement(0, 0).matches(lines[3])) << lines[3];
        EXPECT_EQ(sorted, n);
    }
}

// Every way a run can fail, and the lines it leaves after the three head lines.
TEST(MeasuredRun, ReportsEveryCounterFailureInsideTheRunElement)
{
    struct failing_call {
        call which;
        int occurrence;
        bool sorts;
        strings tail;  // lines after the head; "<time>" stands for the time fragment
    };
    std::string const measured = "\t\t<time unit=\"s\">X</time><l2misses>0</l2misses><tlbmisses>0</tlbmisses>";
    std::vector<failing_call> const cases = {
        {call::create_eventset, 1, false, {failure_line, run_end}},
        {call::add_event, 2, false, {failure_line, run_end}},
        {call::start, 1, false, {failure_line, run_end}},
        {call::stop, 0, true, {failure_line, run_end}},
        // The read fails after the time fragment was written: the error follows on its line.
        {call::read, 1, true, {"<time>" + failure_line, run_end}},
        // Releasing the counters fails after the measurement line is complete.
        {call::remove_event, 1, true, {measured, failure_line, run_end}},
        {call::destroy_eventset, 1, true, {measured, failure_line, run_end}},
    };
    for (failing_call const& c : cases) {
        fake_counters::installed fake;
        fake_counters::current().fail(c.which, c.occurrence);
        bool sorted = false;
        strings const lines = run_lines(100, "Cached", "stack", [&](element* first, element* last, stream_iterator into) {
            sorted = true;
            sort_into(first, last, into);
        });
        SCOPED_TRACE(static_cast<int>(c.which));
        EXPECT_EQ(sorted, c.sorts);
        ASSERT_EQ(lines.size(), 3 + c.tail.size());
        EXPECT_EQ(lines[0], run_head);
        for (std::size_t i = 0; i < c.tail.size(); ++i) {
            std::string const& got = lines[3 + i];
            std::string const& want = c.tail[i];
            if (want.rfind("<time>", 0) == 0) {
                std::vector<std::string> const time = time_then_rest.groups(got);
                ASSERT_FALSE(time.empty()) << got;
                EXPECT_EQ(time[1], want.substr(6));
            } else if (want == measured) {
                EXPECT_TRUE(measurement(0, 0).matches(got)) << got;
            } else {
                EXPECT_EQ(got, want);
            }
        }
    }
}

TEST(MeasuredRun, AFailingSortIsReportedAndTheNextRunFollows)
{
    fake_counters::installed fake;
    // The counters cannot be released either; the sort's failure is the one reported.
    fake_counters::current().fail(call::remove_event, 1);
    strings const failed = run_lines(1000, "Cached", "stack", [](element*, element*, stream_iterator) {
        throw std::runtime_error("stack_allocator: ran out of pool space");
    });
    EXPECT_EQ(failed, (strings{run_head, "\t\t<size>1000</size>", "\t\t<algorithm>Cached stack</algorithm>",
                               "\t\t<error>Caught std::exception: stack_allocator: ran out of pool space</error>",
                               run_end}));
    // The cut-short event set was stopped before its release was tried, so counting can go on.
    EXPECT_FALSE(fake_counters::any_counting());

    fake_counters::current().fail_enabled = false;
    strings const next = run_lines(1000, "Cached", "heap", sort_into);
    ASSERT_EQ(next.size(), 5u);
    EXPECT_TRUE(measurement(0, 0).matches(next[3])) << next[3];
}

TEST(MeasuredRun, ReportsAnInputTooLargeToAllocate)
{
    fake_counters::installed fake;
    strings const lines = run_lines(UINT64_MAX / 2, "Cached", "stack", sort_into);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3].rfind("\t\t<error>Caught std::exception: std::bad_", 0), 0u) << lines[3];
    EXPECT_EQ(fake_counters::current().open_sets(), 0);
}

#ifndef KIT_SANITIZED_BUILD
// (Under the sanitizers the leak checker watches every allocation at exit instead.)
TEST(MeasuredRun, AFailedRunGivesItsInputBack)
{
    fake_counters::installed fake;
    constexpr std::uint64_t n = 1 << 20;  // 16 MiB, far above the heap's mapping threshold
    auto const in_use = [] {
        struct mallinfo2 const info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    std::size_t const before = in_use();
    run_lines(n, "Cached", "stack", [](element*, element*, stream_iterator) { throw std::runtime_error("fails"); });
    EXPECT_LT(in_use(), before + n * sizeof(element) / 2);
}
#endif

}  // namespace

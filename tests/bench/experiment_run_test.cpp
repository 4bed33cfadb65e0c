#include <algorithm>
#include <cstring>
#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark.hpp"
#include "bench/experiment.hpp"
#include "bench/experiment_run.hpp"
#include "bench/variants.hpp"
#include "gen/input_patterns.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/measure/fake_counter_library.hpp"

namespace {

using elements = std::vector<element>;

counter_choice no_counters() { return choose_counters(counter_mode::none, nullptr); }

elements filled(input_source const& input, std::uint64_t n, std::uint64_t seed)
{
    elements items(n);
    input.fill(items.data(), items.data() + n, seed);
    return items;
}

bool same(elements const& a, elements const& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](element const& x, element const& y) { return x.key == y.key && x.payload == y.payload; });
}

void* payload(std::uintptr_t value) { return reinterpret_cast<void*>(value); }

content_checksum checksum_of(elements const& items)
{
    content_checksum sum;
    for (element const& e : items) sum.add(e);
    return sum;
}

TEST(ContentChecksum, DependsOnTheElementsNotTheirOrder)
{
    elements items;
    for (std::uintptr_t i = 0; i < 100; ++i) items.push_back(element{i * 7919u, payload(i)});
    content_checksum const original = checksum_of(items);

    std::shuffle(items.begin(), items.end(), std::mt19937_64(1));
    EXPECT_TRUE(checksum_of(items).same_content(original));

    // Swapping two payloads keeps every key and every payload, but not their pairs.
    std::swap(items[3].payload, items[4].payload);
    EXPECT_FALSE(checksum_of(items).same_content(original));
    std::swap(items[3].payload, items[4].payload);
    items[5].payload = payload(12345);
    EXPECT_FALSE(checksum_of(items).same_content(original));
}

TEST(CheckedOutput, PassesEveryElementToTheStreamAndTalliesIt)
{
    sorted_stream<element> stream;
    output_tally tally;
    elements const items = {{5, payload(0)}, {3, payload(1)}, {9, payload(2)}, {1, payload(3)}};
    testing::internal::CaptureStderr();
    std::copy(items.begin(), items.end(), checked_output(stream, tally));
    std::string const messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stream.sum.key, 18u);
    EXPECT_EQ(stream.out_of_order, 2u);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 2);  // the stream's own report
    EXPECT_EQ(tally.content.count, 4u);
    EXPECT_TRUE(tally.content.same_content(checksum_of(items)));
}

TEST(InputSource, PatternsAreReproducibleFromTheSeedAndCarryTheirIndex)
{
    input_source const zipf = input_source::pattern("zipf");
    EXPECT_FALSE(zipf.is_file());
    elements const first = filled(zipf, 1000, 42);
    EXPECT_TRUE(same(first, filled(zipf, 1000, 42)));
    EXPECT_FALSE(same(first, filled(zipf, 1000, 43)));
    for (std::uintptr_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].payload, payload(i));

    for (std::string const& name : gen::input_pattern_names()) {
        input_source const pattern = input_source::pattern(name);
        EXPECT_TRUE(same(filled(pattern, 700, 5), filled(pattern, 700, 5))) << name;
    }

    // The keys are the pattern's: sorted input stays sorted.
    elements const sorted = filled(input_source::pattern("sorted"), 500, 1);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST(InputSource, AFileGivesItsFirstElementsToEveryRun)
{
    test_support::temp_dir dir;
    std::string const path = dir.file("elements");
    elements written;
    for (std::uint64_t i = 0; i < 50; ++i) written.push_back(element{1000 - i, payload(0xbaadf00d)});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<char const*>(written.data()), static_cast<std::streamsize>(written.size() * sizeof(element)));

    input_source const file = input_source::file(path);
    EXPECT_TRUE(file.is_file());
    EXPECT_EQ(file.name(), path);
    EXPECT_EQ(file.available(), 50u);
    elements const got = filled(file, 20, 1);
    for (std::uintptr_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].key, written[i].key);
        EXPECT_EQ(got[i].payload, payload(i));
    }
    EXPECT_TRUE(same(got, filled(file, 20, 2)));  // the seed plays no part
}

TEST(RunSeed, FreshForEveryRepetitionAndSizeFixedByTheExperimentSeed)
{
    EXPECT_EQ(run_seed(7, 1000, 1), run_seed(7, 1000, 1));
    EXPECT_NE(run_seed(7, 1000, 1), run_seed(7, 1000, 2));
    EXPECT_NE(run_seed(7, 1000, 1), run_seed(7, 1001, 1));
    EXPECT_NE(run_seed(7, 1000, 1), run_seed(8, 1000, 1));
}

// Records that compare equal (a common zero byte ends the compare) but differ after it: the check
// sees one doubled over the other although the order stays right; and an int below the zero
// that the stream starts from is no order violation.
TEST(CheckedOutput, CatchesARecordDoubledOverAnEquivalentOne)
{
    std::vector<record> input(3, record{});
    std::memcpy(input[0].bytes, "ab\0one", 6);
    std::memcpy(input[1].bytes, "ab\0two", 6);
    std::memcpy(input[2].bytes, "b", 1);
    ASSERT_FALSE(input[0] < input[1] || input[1] < input[0]);
    auto const verdict = [&](std::vector<record> const& output) {
        output_check_of<record> check(expected_content_of<record>::of(input.data(), input.data() + input.size()));
        std::copy(output.begin(), output.end(), check.into());
        return check.verdict();
    };
    EXPECT_EQ(verdict({input[1], input[0], input[2]}), "ok");
    std::string const doubled = verdict({input[0], input[0], input[2]});
    EXPECT_EQ(doubled.find("content checksum"), 0u) << doubled;

    std::vector<int> const ints = {-5, -5, 3};
    output_check_of<int> int_check(expected_content_of<int>::of(ints.data(), ints.data() + ints.size()));
    std::copy(ints.begin(), ints.end(), int_check.into());
    EXPECT_EQ(int_check.verdict(), "ok");
}

// Every variant sorts every input pattern of every item type it supports, below, at and above
// the base case and through several recursion levels of the drivers, and the check finds nothing.
TEST(ExperimentRun, EveryVariantSortsEveryPattern)
{
    set_benchmark_tuning();
#ifdef KIT_SANITIZED_BUILD
    std::vector<std::uint64_t> const sizes = {1, 2, 4, 6, 317, 318, 3000};
#else
    std::vector<std::uint64_t> const sizes = {1, 2, 4, 6, 317, 318, 3000, 40000};
#endif
    testing::internal::CaptureStderr();
    for (std::string const& name : gen::input_pattern_names()) {
        input_source const input = input_source::pattern(name);
        for (std::uint64_t const n : sizes) {
            for (variant const& v : all_variants()) {
                for (item_type const type : {item_type::element, item_type::int_item, item_type::record}) {
                    if (!v.sorts(type)) continue;
                    run_result const result = experiment_run(n, run_seed(1, n, 1), input, no_counters(), v, type);
                    char const* const type_name = item_type_name(type);
                    EXPECT_TRUE(result.measured);
                    EXPECT_EQ(result.check, "ok") << name << ' ' << n << ' ' << v.name << ' ' << type_name;
                    EXPECT_EQ(result.error, "") << name << ' ' << n << ' ' << v.name << ' ' << type_name;
                }
            }
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// The largest key, 2^64-1, which a library may take for its own padding: every variant delivers
// each item that holds it, however many there are and wherever they stand.
TEST(ExperimentRun, EveryVariantKeepsTheItemsWithTheLargestKey)
{
    set_benchmark_tuning();
    constexpr std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
    std::mt19937_64 random(7);
    for (std::uint64_t const n : {1, 2, 3, 7, 16, 33, 200, 1000}) {
        elements items(n);
        for (std::uint64_t i = 0; i < n; ++i) {
            std::uint64_t const kinds[] = {0, 1, largest - 1, largest, largest, random()};
            items[i] = element{kinds[random() % 6], payload(i)};
        }
        for (variant const& v : all_variants()) {
            elements copy = items;
            output_check_of<element> check(expected_content_of<element>::of(copy.data(), copy.data() + n));
            v.sort_of<element>()(copy.data(), copy.data() + n, check.into());
            EXPECT_EQ(check.verdict(), "ok") << v.name << ' ' << n;
        }
    }
}

// The test seam: a sort that damages its input on purpose before the real variant sorts it.
TEST(ExperimentRun, TheStrongerCheckCatchesWhatTheKeySumMisses)
{
    set_benchmark_tuning();
    input_source const input = input_source::pattern("uniform");
    variant const& v = all_variants()[0];
    auto damaged = [&](void (*damage)(element*, element*)) {
        return experiment_run(5000, 9, input, no_counters(), [&](element* first, element* last, checked_output into) {
            damage(first, last);
            v.sort(first, last, into);
        });
    };

    run_result const altered = damaged([](element* first, element*) { first[10].payload = payload(77777); });
    EXPECT_TRUE(altered.measured);
    EXPECT_EQ(altered.check.find("content checksum"), 0u) << altered.check;  // the keys are all there

    run_result const swapped = damaged([](element* first, element*) { std::swap(first[1].payload, first[2].payload); });
    EXPECT_EQ(swapped.check.find("content checksum"), 0u) << swapped.check;

    run_result const changed_key = damaged([](element* first, element*) { first[0].key += 1; });
    EXPECT_NE(changed_key.check.find("key checksum"), std::string::npos) << changed_key.check;
    EXPECT_NE(changed_key.check.find("content checksum"), std::string::npos) << changed_key.check;

    run_result const lost = experiment_run(5000, 9, input, no_counters(), [&](element* first, element* last, checked_output into) {
        v.sort(first, last - 1, into);
    });
    EXPECT_NE(lost.check.find("element count 4999 != 5000"), std::string::npos) << lost.check;

    testing::internal::CaptureStderr();
    run_result const disordered = experiment_run(100, 9, input, no_counters(), [](element* first, element* last, checked_output into) {
        std::sort(first, last);
        std::reverse(first, last);
        std::copy(first, last, into);
    });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(disordered.check, "99 elements out of order");
}

// A short sort is measured K times over K copies of one input: every copy is checked, and the
// time is per sort. K aims at about 10 ms of sorting, within the copies' memory.
TEST(ExperimentRun, SeveralSortsPerMeasurementEachHaveTheirCheck)
{
    set_benchmark_tuning();
    input_source const input = input_source::pattern("uniform");
    variant const& v = all_variants()[0];
    std::uint64_t calls = 0;
    run_result const third_damaged =
        experiment_run(500, 9, input, no_counters(), [&](element* first, element* last, checked_output into) {
            if (++calls == 3) first[7].payload = payload(424242);
            v.sort(first, last, into);
        }, 4);
    EXPECT_EQ(calls, 4u);
    EXPECT_EQ(third_damaged.sorts, 4u);
    EXPECT_EQ(third_damaged.check.find("sort 3 of 4: content checksum"), 0u) << third_damaged.check;

    EXPECT_EQ(sorts_per_measurement(0.0, 1000, 16), 1u);    // nothing known
    EXPECT_EQ(sorts_per_measurement(0.02, 1000, 16), 1u);   // long enough alone
    EXPECT_EQ(sorts_per_measurement(0.001, 1000, 16), 10u);
    EXPECT_EQ(sorts_per_measurement(1e-9, 1, 16), max_sorts_per_measurement);
    EXPECT_EQ(sorts_per_measurement(1e-6, 1000000, 16), max_copies_bytes / 16000000);
    double const one_sort = warm_up(1000, 9, input, v, item_type::element);
    EXPECT_GT(one_sort, 0.0);
    EXPECT_LT(one_sort, 0.01);
}

TEST(ExperimentRun, CountsOnlyTheChosenEventsIntoTheirSlots)
{
    set_benchmark_tuning();
    fake_counters::installed fake;
    fake_counters::current().offered = {miss_counter::tlb_data_misses};
    fake_counters::current().tlb = 321;
    counter_choice const choice = choose_counters(counter_mode::automatic, &fake_counters::library());
    fake_counters::current().log.clear();

    run_result const result = experiment_run(1000, 1, input_source::pattern("uniform"), choice, all_variants()[1].sort);
    EXPECT_TRUE(result.counts_read);
    EXPECT_EQ(result.counts[counter_choice::tlb_slot], 321);
    EXPECT_EQ(result.counts[counter_choice::l2_slot], 0);
    EXPECT_EQ(fake_counters::current().log, (std::vector<std::string>{"create", "add DTLB", "reset", "start", "stop", "read",
                                                                      "remove DTLB", "destroy"}));
}

TEST(ExperimentRun, ReportsAFailureAndKeepsAMeasurementMadeBeforeIt)
{
    set_benchmark_tuning();
    input_source const input = input_source::pattern("uniform");
    counter_choice const papi = choose_counters(counter_mode::papi, &fake_counters::library());
    {
        fake_counters::installed fake;
        fake_counters::current().fail(fake_counters::call::add_event);
        run_result const result = experiment_run(1000, 1, input, papi, all_variants()[2].sort);
        EXPECT_FALSE(result.measured);
        EXPECT_EQ(result.error, "add_event: fake failure");
    }
    {
        fake_counters::installed fake;
        fake_counters::current().fail(fake_counters::call::destroy_eventset);
        run_result const result = experiment_run(1000, 1, input, papi, all_variants()[3].sort);
        EXPECT_TRUE(result.measured);
        EXPECT_TRUE(result.counts_read);
        EXPECT_EQ(result.check, "ok");
        EXPECT_EQ(result.error, "destroy_eventset: fake failure");
    }
    // No counters: not a single library call, and the time is still there.
    fake_counters::installed fake;
    run_result const timed = experiment_run(1000, 1, input, no_counters(), all_variants()[0].sort);
    EXPECT_TRUE(timed.measured);
    EXPECT_GT(timed.seconds, 0.0);
    EXPECT_TRUE(fake_counters::current().log.empty());
}

}  // namespace

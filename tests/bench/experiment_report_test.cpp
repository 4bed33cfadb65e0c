#include <algorithm>
#include <set>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/experiment.hpp"
#include "bench/experiment_report.hpp"
#include "measure/sys_names.hpp"
#include "tests/measure/fake_counter_library.hpp"
#include "tests/support/pattern.hpp"
#include "tests/support/process.hpp"

namespace {

using strings = std::vector<std::string>;

struct written {
    strings report;    // without the manifest
    strings manifest;  // CSV: its "# key: value" lines; XML: its one element
    strings progress;
};

bool is_manifest(std::string const& line) { return line.rfind("# ", 0) == 0 || line.rfind("\t<manifest ", 0) == 0; }

strings without_manifest(std::string const& report)
{
    strings lines = test_support::lines_of(report);
    lines.erase(std::remove_if(lines.begin(), lines.end(), is_manifest), lines.end());
    return lines;
}

written experiment(strings const& args)
{
    std::ostringstream out;
    std::ostringstream progress;
    run_experiment(parse_options(args, memory_limit{std::uint64_t{1} << 40, "physical memory"}), out, progress,
                   local_time(std::time(nullptr)), &fake_counters::library());
    written w;
    for (std::string const& line : test_support::lines_of(out.str())) {
        (is_manifest(line) ? w.manifest : w.report).push_back(line);
    }
    w.progress = test_support::lines_of(progress.str());
    return w;
}

// The columns of what each interval moved, always the last ones.
std::string const movement_header = ",major_faults,minor_faults,read_bytes,write_bytes,user_s,system_s,peak_rss_bytes";

std::vector<std::string> csv_fields(std::string const& line)
{
    strings fields;
    std::string field;
    bool quoted = false;
    for (char const c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

// "size variant repetition" of every row of a CSV report, in the order of the rows.
strings run_order(strings const& report)
{
    strings order;
    for (std::size_t row = 1; row < report.size(); ++row) {
        strings const f = csv_fields(report[row]);
        order.push_back(f.at(0) + ' ' + f.at(1) + ' ' + f.at(2));
    }
    return order;
}

std::string const csv_header =
    "size,variant,repetition,input,seed,seconds,ns_per_element,l2_misses,tlb_misses,l2_event,tlb_event,counter_status,"
    "virtualized,check,error";

// The machine of the issue: counters exist for the level-2 cache only. Every run has its row, in
// an order shuffled by the seed; the seed column is the experiment's, and the counts, like the
// time, are per sort of the measurement's K.
TEST(ExperimentReport, CsvHasAHeaderAndOneRowPerRunWithTheCountsThereAre)
{
    fake_counters::installed fake;
    fake_counters::current().offered = {miss_counter::l2_data_cache_misses};
    fake_counters::current().l2 = 4000;
    fake_counters::current().virtualized = 1;
    strings const args = {"--format=csv", "--sizes=2000,500", "--repeat=2", "--seed=5",
                          "--variants=cached-stack,uncached-heap", "--input=organ", "--sorts-per-measurement=3"};
    written const w = experiment(args);
    ASSERT_EQ(w.report.size(), 1u + 2 * 2 * 2);
    EXPECT_EQ(w.report[0], csv_header + ",type,sorts_per_measurement,alpha,d" + movement_header +
                               ",bound,misses_per_bound");
    // The manifest before the header: where the numbers come from, one "# key: value" line each.
    strings keys;
    for (std::string const& line : w.manifest) keys.push_back(line.substr(2, line.find(':') - 2));
    EXPECT_EQ(keys, (strings{"processor", "caches", "cores", "kernel", "compiler", "build_type", "build_flags", "version",
                             "commit", "counters", "cache_geometry", "date", "seed"}));
    EXPECT_EQ(w.manifest.at(4).rfind("# compiler: GNU C++ ", 0), 0u) << w.manifest.at(4);
    EXPECT_EQ(w.manifest.at(9), "# counters: auto: PAPI_TLB_DM: Event does not exist");
    EXPECT_EQ(w.manifest.at(12), "# seed: 5");
    for (std::size_t row = 1; row < w.report.size(); ++row) {
        strings const f = csv_fields(w.report[row]);
        ASSERT_EQ(f.size(), 28u) << w.report[row];
        EXPECT_EQ(f[3], "organ");
        EXPECT_EQ(f[4], "5");
        double const seconds = std::stod(f[5]);
        EXPECT_GT(seconds, 0.0);
        EXPECT_NEAR(std::stod(f[6]), seconds * 1e9 / std::stod(f[0]), 1e-3 * std::stod(f[6]));
        EXPECT_EQ(f[7], "1333");  // 4000 over 3 sorts
        EXPECT_EQ(f[8], "");      // not counted: empty, never 0
        EXPECT_EQ(f[26] + f[27], "");  // no bound without simulation
        EXPECT_EQ(f[9], "PAPI_L2_DCM");
        EXPECT_EQ(f[10], "");
        EXPECT_EQ(f[11], "PAPI_TLB_DM: Event does not exist");
        EXPECT_EQ(f[12], "yes");
        EXPECT_EQ(f[13], "ok");
        EXPECT_EQ(f[14], "");
        EXPECT_EQ(f[15], "element");
        EXPECT_EQ(f[16], "3");
        EXPECT_EQ(f[17], "4");  // the funnel's setting, the default one
        EXPECT_EQ(f[18], "2.5");
    }
    strings const order = run_order(w.report);
    EXPECT_EQ(std::set<std::string>(order.begin(), order.end()),
              (std::set<std::string>{"2000 cached-stack 1", "2000 cached-stack 2", "2000 uncached-heap 1",
                                     "2000 uncached-heap 2", "500 cached-stack 1", "500 cached-stack 2",
                                     "500 uncached-heap 1", "500 uncached-heap 2"}));
    // A line naming the counters, one per run, then the summary: a title, a header and a row per
    // size and variant in the order given, with ratios to the first variant, as std-sort did not run.
    ASSERT_EQ(w.progress.size(), 1u + 8u + 2u + 4u);
    EXPECT_EQ(w.progress[0], "corvane: counters: PAPI_TLB_DM: Event does not exist; virtualized: yes");
    EXPECT_EQ(w.progress[8].rfind("corvane: run 8/8: ", 0), 0u) << w.progress[8];
    EXPECT_NE(w.progress[9].find("ratio of the medians to cached-stack"), std::string::npos) << w.progress[9];
    test_support::pattern const summary_row(" +(2000|500)  (cached-stack|uncached-heap) +([0-9.]+) +([0-9.]+) +([0-9.]+) +"
                                 "50.0% +([0-9.]+)");
    for (std::size_t i = 11; i < 15; ++i) {
        std::vector<std::string> const row = summary_row.groups(w.progress[i]);
        ASSERT_FALSE(row.empty()) << w.progress[i];
        EXPECT_EQ(row[1], i < 13 ? "2000" : "500");
        EXPECT_EQ(row[2], i % 2 == 1 ? "cached-stack" : "uncached-heap");
        EXPECT_LE(std::stod(row[4]), std::stod(row[3]));  // two repetitions: their median lies between them
        EXPECT_LE(std::stod(row[3]), std::stod(row[5]));
        if (i % 2 == 1) {
            EXPECT_EQ(row[6], "1.000");
        }
    }

    // The same seed gives the same order, another seed another one.
    EXPECT_EQ(run_order(experiment(args).report), order);
    strings other = args;
    other[3] = "--seed=6";
    EXPECT_NE(run_order(experiment(other).report), order);
}

// Every input a sort was given, as (size, hash of its bytes).
std::set<std::pair<std::uint64_t, std::uint64_t>> recorded_inputs;

void recording_sort(element* first, element* last, checked_output into)
{
    std::uint64_t hash = 0;
    for (element const* e = first; e != last; ++e) hash = mix_finish(hash ^ item_mix(*e));
    recorded_inputs.insert({static_cast<std::uint64_t>(last - first), hash});
    std::sort(first, last);
    std::copy(first, last, into);
}

// The inputs an experiment with these options sorted, K = 1.
std::set<std::pair<std::uint64_t, std::uint64_t>> inputs_of(strings args)
{
    static variant const recording{"recording", "Recording", variant_group::peer, recording_sort, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr};
    args.push_back("--sorts-per-measurement=1");
    args.push_back("--counters=none");
    experiment_options options = parse_options(args, memory_limit{std::uint64_t{1} << 40, "physical memory"});
    options.variants = {&recording, &recording};
    recorded_inputs.clear();
    std::ostringstream out;
    std::ostringstream progress;
    run_experiment(options, out, progress, local_time(std::time(nullptr)), nullptr);
    return recorded_inputs;
}

// A row's input depends on the seed, the size, the pattern and the repetition alone: an
// experiment with fewer sizes and repetitions, in another order, sorts a subset of the inputs.
TEST(ExperimentReport, TheSeedAndARowsSizeAndRepetitionMakeItsInputAgain)
{
    auto const all = inputs_of({"--sizes=300,700", "--repeat=3", "--seed=11", "--input=zipf"});
    EXPECT_EQ(all.size(), 6u);
    auto const some = inputs_of({"--sizes=700", "--repeat=2", "--seed=11", "--input=zipf"});
    EXPECT_EQ(some.size(), 2u);
    for (auto const& input : some) EXPECT_EQ(all.count(input), 1u) << input.first;
    for (auto const& input : inputs_of({"--sizes=700", "--repeat=2", "--seed=12", "--input=zipf"})) {
        EXPECT_EQ(all.count(input), 0u) << input.first;
    }
}

TEST(ExperimentReport, XmlKeepsTheBenchmarksRunElementsAndSaysWhatWasCounted)
{
    fake_counters::installed fake;
    fake_counters::current().offered = {miss_counter::l2_data_cache_misses, miss_counter::tlb_data_misses};
    fake_counters::current().l2 = 17;
    fake_counters::current().tlb = 4;
    written const w =
        experiment({"--sizes=1000", "--variants=uncached-stack", "--seed=9", "--repeat=2", "--sorts-per-measurement=1"});
    ASSERT_EQ(w.report.size(), 5u + 2 * 11 + 1);
    EXPECT_EQ(w.report[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    EXPECT_EQ(w.report[1].rfind("<benchmark date=\"", 0), 0u);
    EXPECT_EQ(w.report[2], "\t<experiment counters=\"auto\" virtualized=\"no\" input=\"uniform\" seed=\"9\" repeat=\"2\"/>");
    ASSERT_EQ(w.manifest.size(), 1u);
    EXPECT_TRUE(test_support::pattern("\t<manifest processor=\"[^\"]*\" caches=.* compiler=\"GNU C\\+\\+ .*"
                                      " version=\"[0-9]+\\.[0-9]+\\.[0-9]+\" .* seed=\"9\"/>")
                    .matches(w.manifest[0]))
        << w.manifest[0];
    EXPECT_EQ(w.report[3], "\t<counter name=\"l2misses\" event=\"PAPI_L2_DCM\" status=\"counted\"/>");
    EXPECT_EQ(w.report[4], "\t<counter name=\"tlbmisses\" event=\"PAPI_TLB_DM\" status=\"counted\"/>");
    std::set<std::uint32_t> repetitions;
    for (std::size_t at = 5; at < 5 + 2 * 11; at += 11) {
        EXPECT_EQ(w.report[at].rfind("\t<run buildtime=\"", 0), 0u);
        EXPECT_EQ(w.report[at + 1], "\t\t<size>1000</size>");
        EXPECT_EQ(w.report[at + 2], "\t\t<algorithm>Not cached stack</algorithm>");
        std::uint32_t const repetition = w.report[at + 3] == "\t\t<repetition>2</repetition>" ? 2 : 1;
        repetitions.insert(repetition);
        EXPECT_EQ(w.report[at + 3], "\t\t<repetition>" + std::to_string(repetition) + "</repetition>");
        EXPECT_EQ(w.report[at + 4], "\t\t<input seed=\"" + std::to_string(run_seed(9, 1000, repetition)) + "\">uniform</input>");
        EXPECT_EQ(w.report[at + 5], "\t\t<type>element</type>");
        EXPECT_EQ(w.report[at + 6], "\t\t<alpha>4</alpha>");
        EXPECT_EQ(w.report[at + 7], "\t\t<d>2.5</d>");
        EXPECT_EQ(w.report[at + 8], "\t\t<check>ok</check>");
        EXPECT_TRUE(test_support::pattern("\t\t<time unit=\"s\">[0-9.e+-]+</time><l2misses>17</l2misses>"
                                          "<tlbmisses>4</tlbmisses>")
                        .matches(w.report[at + 9]))
            << w.report[at + 9];
        EXPECT_EQ(w.report[at + 10], "\t</run>");
    }
    EXPECT_EQ(repetitions, (std::set<std::uint32_t>{1, 2}));
    EXPECT_EQ(w.report.back(), "</benchmark>");
}

// This machine: no counter at all. The time is there, and each run says why the counts are not.
TEST(ExperimentReport, XmlMarksCountersThatCannotBeCounted)
{
    fake_counters::installed fake;
    fake_counters::current().offered = {};
    written const w = experiment({"--sizes=400", "--variants=cached-heap"});
    ASSERT_EQ(w.report.size(), 17u);
    EXPECT_EQ(w.report[3], "\t<counter name=\"l2misses\" event=\"PAPI_L2_DCM\" status=\"unavailable\" "
                           "reason=\"Event does not exist\"/>");
    EXPECT_TRUE(test_support::pattern("\t\t<time unit=\"s\">[0-9.e+-]+</time>"
                                      "<l2misses unavailable=\"Event does not exist\"/>"
                                      "<tlbmisses unavailable=\"Event does not exist\"/>")
                    .matches(w.report[14]))
        << w.report[14];
    // Without any hardware counter the status line points to the simulated ones.
    EXPECT_NE(w.progress.at(0).find("--counters=simulated"), std::string::npos) << w.progress.at(0);
}

// Asked for both fixed counters on a machine that cannot count them, every run fails with the
// library's reason, and the next run follows.
TEST(ExperimentReport, PapiCountersThatFailGiveAnErrorPerRun)
{
    fake_counters::installed fake;
    fake_counters::current().fail(fake_counters::call::add_event);
    written const xml = experiment({"--counters=papi", "--sizes=300", "--variants=cached-stack,cached-heap"});
    ASSERT_EQ(xml.report.size(), 5u + 2 * 10 + 1);
    EXPECT_EQ(xml.report[3], "\t<counter name=\"l2misses\" event=\"PAPI_L2_DCM\" status=\"requested\"/>");
    EXPECT_EQ(xml.report[13], "\t\t<error>Caught std::exception: add_event: fake failure</error>");
    EXPECT_EQ(xml.report[23], "\t\t<error>Caught std::exception: add_event: fake failure</error>");

    written const csv = experiment({"--counters=papi", "--sizes=300", "--variants=cached-stack", "--format=csv"});
    ASSERT_EQ(csv.report.size(), 2u);
    strings const f = csv_fields(csv.report[1]);
    ASSERT_EQ(f.size(), 28u);
    EXPECT_EQ(f[5], "");
    EXPECT_EQ(f[7], "");
    EXPECT_EQ(f[13], "");
    EXPECT_EQ(f[14], "add_event: fake failure");
    EXPECT_EQ(f[16], "");  // nothing measured
    EXPECT_NE(csv.progress[1].find("failed: add_event: fake failure"), std::string::npos) << csv.progress[1];
}

TEST(ExperimentReport, CounterStatusNamesEachMissingEventWithItsReason)
{
    counter_choice choice = choose_counters(counter_mode::none, nullptr);
    EXPECT_EQ(counter_status(choice), "PAPI_L2_DCM: not requested; PAPI_TLB_TL: not requested");
    choice.slots[0].counted = true;
    choice.slots[1].counted = true;
    EXPECT_EQ(counter_status(choice), "counted");
    EXPECT_EQ(counter_status(choose_counters(counter_mode::papi, nullptr)), "requested");
}

// Simulated counts, as the experiment hands them to the reports: the first run counted, the
// second one whose simulation failed.
struct simulated_runs {
    experiment_head head;
    run_id id;
    run_result counted;
    run_result failed;
};

simulated_runs simulated_example()
{
    simulated_runs s{experiment_head{local_time(std::time(nullptr)), choose_counters(counter_mode::simulated, nullptr),
                                     "uniform", false, 3, 1,
                                     simulation_setup{"/usr/bin/valgrind", {32768, 8, 64}, {2097152, 16, 64}}},
                     run_id{1000, find_variant("cached-stack"), 1, 77, funnel::default_tuning, 2097152}, run_result{},
                     run_result{}};
    s.counted.measured = true;
    s.counted.seconds = 0.5;
    s.counted.check = "ok";
    s.counted.counts_read = true;
    s.counted.counts[counter_choice::l2_slot] = 1234;
    s.counted.l1_misses = 5678;
    s.failed = s.counted;
    s.failed.counts_read = false;
    s.failed.error = "the simulated run failed (exit status 1)";
    return s;
}

TEST(ExperimentReport, SimulatedCountsSayWhereTheyComeFromInBothForms)
{
    simulated_runs const s = simulated_example();
    std::ostringstream xml;
    std::unique_ptr<experiment_report> const x = make_xml_report(xml, s.head);
    x->begin();
    x->run_started(s.id);
    x->run_finished(s.id, s.counted);
    x->run_started(s.id);
    x->run_finished(s.id, s.failed);
    strings const lines = without_manifest(xml.str());
    ASSERT_EQ(lines.size(), 6u + 2 * 11 + 1);
    EXPECT_EQ(lines[2], "\t<experiment counters=\"simulated\" virtualized=\"unknown\" input=\"uniform\" seed=\"3\" "
                        "repeat=\"1\"/>");
    EXPECT_EQ(lines[3], "\t<counter name=\"l2misses\" event=\"simulated_L2_DCM\" status=\"simulated\" size=\"2097152\" "
                        "ways=\"16\" line=\"64\"/>");
    EXPECT_EQ(lines[4], "\t<counter name=\"tlbmisses\" event=\"simulated_TLB\" status=\"unavailable\" "
                        "reason=\"the cache simulator models no TLB\"/>");
    EXPECT_EQ(lines[5], "\t<counter name=\"l1misses\" event=\"simulated_L1_DCM\" status=\"simulated\" size=\"32768\" "
                        "ways=\"8\" line=\"64\"/>");
    EXPECT_EQ(lines[15], "\t\t<time unit=\"s\">0.5</time><l2misses>1234</l2misses>"
                         "<tlbmisses unavailable=\"the cache simulator models no TLB\"/><l1misses>5678</l1misses>");
    // 1000 elements are 250 lines, fewer than the cache holds: one pass, and 1234 misses are 4.936 of it.
    EXPECT_EQ(lines[16], "\t\t<bound level=\"2\" size=\"2097152\">250</bound><misses_per_bound>4.936</misses_per_bound>");
    // A failed simulation gives no counts, only the error.
    EXPECT_EQ(lines[27], "\t\t<time unit=\"s\">0.5</time>\t\t<error>Caught std::exception: the simulated run failed "
                         "(exit status 1)</error>");

    std::ostringstream csv;
    std::unique_ptr<experiment_report> const c = make_csv_report(csv, s.head);
    c->begin();
    c->run_finished(s.id, s.counted);
    c->run_finished(s.id, s.failed);
    strings const rows = without_manifest(csv.str());
    ASSERT_EQ(rows.size(), 3u);
    // The columns of the other modes first, unchanged; the simulation's own at the end.
    EXPECT_EQ(rows[0], csv_header + ",l1_misses,l1_event,l1_cache,l2_cache,type,sorts_per_measurement,alpha,d" +
                           movement_header + ",bound,misses_per_bound");
    EXPECT_EQ(rows[1], "1000,cached-stack,1,uniform,3,0.5,500000,1234,,simulated_L2_DCM,,simulated_TLB: the cache "
                       "simulator models no TLB,unknown,ok,,5678,simulated_L1_DCM,32768/8/64,2097152/16/64,element,1,4,2.5,,,,,,,,"
                       "250,4.936");
    strings const f = csv_fields(rows[2]);
    ASSERT_EQ(f.size(), 32u);
    EXPECT_EQ(f[7], "");
    EXPECT_EQ(f[14], "the simulated run failed (exit status 1)");
    EXPECT_EQ(f[15], "");
    EXPECT_EQ(f[30] + '|' + f[31], "250|");  // the bound stands, the misses per bound are missing

    // A sweep of the second level: the head lists its sizes, each run names its own cache, and a
    // cache of 64 lines takes log_64(250) = 1.33 passes over the 250 lines.
    experiment_head swept = s.head;
    swept.simulation.swept_sizes = {4096, 2097152};
    run_id small = s.id;
    small.cache_size = 4096;
    std::ostringstream sweep_xml;
    std::unique_ptr<experiment_report> const sx = make_xml_report(sweep_xml, swept);
    sx->begin();
    sx->run_started(small);
    sx->run_finished(small, s.counted);
    strings const sweep_lines = without_manifest(sweep_xml.str());
    EXPECT_EQ(sweep_lines.at(3), "\t<counter name=\"l2misses\" event=\"simulated_L2_DCM\" status=\"simulated\" "
                                 "sizes=\"4096,2097152\" ways=\"16\" line=\"64\"/>");
    EXPECT_EQ(sweep_lines.at(16), "\t\t<bound level=\"2\" size=\"4096\">331.908</bound><misses_per_bound>3.7179"
                                  "</misses_per_bound>");
    std::ostringstream sweep_csv;
    make_csv_report(sweep_csv, swept)->run_finished(small, s.counted);
    strings const cells = csv_fields(without_manifest(sweep_csv.str()).at(0));
    EXPECT_EQ(cells.at(18) + ' ' + cells.at(30) + ' ' + cells.at(31), "4096/16/64 331.908 3.7179");
}

// The child's part, outside valgrind (the client requests do nothing there): one checked run.
TEST(ExperimentReport, TheSimulatedChildSortsOneRunAndWritesItsVerdict)
{
    std::ostringstream out;
    std::ostringstream progress;
    run_experiment(parse_options({"--simulated-run=5", "--sizes=3000", "--variants=uncached-heap", "--input=organ"},
                                 memory_limit{std::uint64_t{1} << 40, "physical memory"}),
                   out, progress, local_time(std::time(nullptr)), nullptr);
    EXPECT_EQ(out.str(), "check: ok\n");
    EXPECT_EQ(progress.str(), "");
}

}  // namespace

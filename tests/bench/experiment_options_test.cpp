#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark.hpp"
#include "bench/experiment_options.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using args = std::vector<std::string>;

memory_limit const plenty{std::uint64_t{1} << 40, "physical memory"};  // enough for any size a test names

// The usage_error's text, or "" when the arguments are accepted.
std::string refusal(args const& given, std::uint64_t memory = plenty.bytes)
{
    try {
        parse_options(given, memory_limit{memory, "physical memory"});
    } catch (usage_error const& e) {
        return e.what();
    }
    return "";
}

TEST(ExperimentOptions, DefaultsAreTheBenchmarksRunsWithCountersAsAvailable)
{
    experiment_options const options = parse_options({"--repeat=1"}, plenty);
    EXPECT_EQ(options.counters, counter_mode::automatic);
    EXPECT_EQ(options.sizes, benchmark_sizes());
    EXPECT_EQ(options.variants, funnel_variants());
    EXPECT_EQ(options.type, item_type::element);
    EXPECT_FALSE(options.seeded);
    EXPECT_EQ(options.input, "uniform");
    EXPECT_EQ(options.input_file, "");
    EXPECT_EQ(options.format, report_format::xml);
}

TEST(ExperimentOptions, ReadsEveryOption)
{
    experiment_options const options =
        parse_options({"--counters=none", "--sizes=1,317,20000", "--variants=uncached-heap,cached-stack", "--repeat=5",
                       "--seed=18446744073709551615", "--input=zipf", "--format=csv"},
                      plenty);
    EXPECT_EQ(options.counters, counter_mode::none);
    EXPECT_EQ(options.sizes, (std::vector<std::uint64_t>{1, 317, 20000}));
    ASSERT_EQ(options.variants.size(), 2u);
    EXPECT_STREQ(options.variants[0]->name, "uncached-heap");
    EXPECT_STREQ(options.variants[1]->name, "cached-stack");
    EXPECT_EQ(options.repeat, 5u);
    EXPECT_TRUE(options.seeded);
    EXPECT_EQ(options.seed, 18446744073709551615u);
    EXPECT_EQ(options.input, "zipf");
    EXPECT_EQ(options.format, report_format::csv);
    EXPECT_EQ(parse_options({"--counters=papi"}, plenty).counters, counter_mode::papi);
    EXPECT_EQ(parse_options({"--format=xml"}, plenty).format, report_format::xml);
}

std::vector<std::string> names_of(std::vector<variant const*> const& variants)
{
    std::vector<std::string> names;
    for (variant const* v : variants) names.push_back(v->name);
    return names;
}

// Groups bring their members in the registry's order, after whatever was named before them.
TEST(ExperimentOptions, VariantsAreNamesAndGroups)
{
    using names = std::vector<std::string>;
    names const peers = {"std-sort", "std-stable-sort", "pdqsort-branchless", "vqsort", "spinsort", "flat-stable-sort"};
    names const funnel = {"cached-stack", "cached-heap", "uncached-stack", "uncached-heap"};
    EXPECT_EQ(names_of(parse_options({"--variants=peers"}, plenty).variants), peers);
    EXPECT_EQ(names_of(parse_options({"--variants=funnel"}, plenty).variants), funnel);
    names const library = {"funnel-sort", "funnel-stable-sort"};
    EXPECT_EQ(names_of(parse_options({"--variants=library"}, plenty).variants), library);
    names all = funnel;
    all.insert(all.end(), peers.begin(), peers.end());
    all.insert(all.end(), library.begin(), library.end());
    EXPECT_EQ(names_of(parse_options({"--variants=all", "--type=element"}, plenty).variants), all);
    EXPECT_EQ(names_of(parse_options({"--variants=all", "--type=int"}, plenty).variants), all);
    // vqsort sorts no records: the group keeps the others.
    EXPECT_EQ(names_of(parse_options({"--type=record", "--variants=all"}, plenty).variants),
              (names{"cached-stack", "cached-heap", "uncached-stack", "uncached-heap", "std-sort", "std-stable-sort",
                     "pdqsort-branchless", "spinsort", "flat-stable-sort", "funnel-sort", "funnel-stable-sort"}));
    EXPECT_EQ(names_of(parse_options({"--variants=vqsort,funnel,all"}, plenty).variants),
              (names{"vqsort", "cached-stack", "cached-heap", "uncached-stack", "uncached-heap", "std-sort",
                     "std-stable-sort", "pdqsort-branchless", "spinsort", "flat-stable-sort", "funnel-sort", "funnel-stable-sort"}));
    // Every name is unique, and its display name too; a display name is no other variant's name
    // (spinsort's are one and the same).
    std::set<std::string> names_seen;
    std::set<std::string> displays_seen;
    for (variant const& v : all_variants()) {
        EXPECT_TRUE(names_seen.insert(v.name).second) << v.name;
        EXPECT_TRUE(displays_seen.insert(v.display).second) << v.display;
        EXPECT_EQ(find_variant(v.name), &v);
        variant const* const named = find_variant(v.display);
        EXPECT_TRUE(named == nullptr || named == &v) << v.display;
    }
}

TEST(ExperimentOptions, RefusesBadValuesWithAMessageNamingThem)
{
    struct bad {
        args given;
        std::string says;
    };
    std::vector<bad> const cases = {
        {{"--bogus=1"}, "unknown option '--bogus=1'"},
        {{"sizes=10"}, "unknown option"},
        {{"--sizes"}, "--sizes: a value is missing"},
        {{"--sizes=0"}, "at least 1"},
        {{"--sizes=10,,20"}, "an empty item"},
        {{"--sizes=10,"}, "an empty item"},
        {{"--sizes="}, "an empty item"},
        {{"--sizes=-5"}, "not an unsigned decimal number"},
        {{"--sizes=1e6"}, "not an unsigned decimal number"},
        {{"--sizes=18446744073709551616"}, "too large"},
        {{"--sizes=1000", "--sizes=2000"}, "--sizes is given twice"},
        {{"--variants=cached"}, "unknown variant 'cached'"},
        {{"--variants=cached-heap,cached-heap"}, "named twice"},
        {{"--variants=std-sort,peers,std-sort"}, "'std-sort' is named twice"},
        {{"--variants=Peers"}, "unknown variant 'Peers'"},
        {{"--type=float"}, "--type: 'float' is not element, int or record"},
        {{"--type=record", "--variants=vqsort"}, "--type=record: the variant 'vqsort' does not sort record items"},
        {{"--type=record", "--variants=vqsort,all"}, "--type=record: the variant 'vqsort' does not sort record items"},
        {{"--repeat=0"}, "between 1 and"},
        {{"--repeat=1000001"}, "between 1 and"},
        {{"--seed=x"}, "--seed"},
        {{"--counters=perf"}, "not papi, auto, none or simulated"},
        {{"--format=yaml"}, "not xml, csv or json"},
        {{"--input=gaussian"}, "unknown input 'gaussian'"},
        {{"--input-file="}, "the path is missing"},
        {{"--input-file=/nonexistent/elements"}, "cannot find"},
        {{"--input-file=/tmp"}, "not a regular file"},
    };
    for (bad const& c : cases) {
        std::string const text = refusal(c.given);
        EXPECT_NE(text.find(c.says), std::string::npos) << c.given.front() << ": " << text;
    }
}

// Every alpha with every d; a value out of range, not a number, or a setting whose trees do not
// fit is refused and named.
TEST(ExperimentOptions, TuningListsMakeEveryCombinationAndRefuseWhatCannotRun)
{
    experiment_options const options = parse_options({"--alpha=14,4", "--d=1.9,2,2.5", "--sizes=1000"}, plenty);
    std::vector<funnel::tuning> const all = options.tunings();
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0].alpha, 14);
    EXPECT_EQ(all[0].d, 1.9f);
    EXPECT_EQ(all[5].alpha, 4);
    EXPECT_EQ(all[5].d, 2.5f);
    std::vector<funnel::tuning> const defaults = parse_options({"--sizes=1000"}, plenty).tunings();
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0].alpha, 4);
    EXPECT_EQ(defaults[0].d, 2.5f);

    struct bad {
        args given;
        std::string says;
    };
    std::vector<bad> const cases = {
        {{"--alpha=0"}, "--alpha: '0' is not a whole number from 1"},
        {{"--alpha=2.5"}, "--alpha: '2.5' is not a whole number"},
        {{"--alpha=-3"}, "not a whole number"},
        {{"--alpha=4,4"}, "'4' is given twice"},
        {{"--d=1"}, "--d: '1' must be above 1"},
        {{"--d=0.5"}, "must be above 1"},
        {{"--d=two"}, "--d: 'two' is not a decimal number"},
        {{"--d=2.5e1"}, "not a decimal number"},
        {{"--d=2,"}, "an empty item"},
        {{"--sizes=1000000", "--alpha=100000", "--d=3"}, "--alpha/--d: alpha 100000, d 3: the base-case threshold"},
    };
    for (bad const& c : cases) {
        std::string const text = refusal(c.given);
        EXPECT_NE(text.find(c.says), std::string::npos) << c.given.front() << ": " << text;
    }
    // d near 1 splits a million items into hundreds of thousands of runs, whose tree holds several
    // times the input: 32 MiB are enough at alpha 1, d 2.5, not at d 1.01.
    std::uint64_t const memory = 32u << 20;
    EXPECT_EQ(refusal({"--sizes=1000000", "--alpha=1"}, memory), "");
    std::string const text = refusal({"--sizes=1000000", "--alpha=1", "--d=2.5,1.01"}, memory);
    EXPECT_NE(text.find("alpha 1, d 1.01: the merge trees and scratch arrays for 1000000 items need"), std::string::npos)
        << text;
    // Peers alone have no setting to check.
    EXPECT_EQ(refusal({"--sizes=1000000", "--alpha=1", "--d=1.01", "--variants=std-sort"}, memory), "");
}

// Two elements of 16 bytes per size unit: the input and room for the sort.
TEST(ExperimentOptions, RefusesSizesAboveWhatMemoryHolds)
{
    std::uint64_t const memory = 1 << 20;
    EXPECT_EQ(largest_size(memory), memory / 32);
    EXPECT_EQ(refusal({"--sizes=32768"}, memory), "");
    EXPECT_NE(refusal({"--sizes=1000,32769"}, memory)
                  .find("32769 elements do not fit into this machine's memory (at most 32768); the limit is physical "
                        "memory, 1048576 bytes"),
              std::string::npos);
    EXPECT_NE(refusal({"--sizes=9999999999999999"}).find("do not fit"), std::string::npos);
    // A record takes 100 bytes, so fewer of them fit, whichever option comes first.
    EXPECT_EQ(refusal({"--type=record", "--sizes=5242"}, memory), "");
    EXPECT_NE(refusal({"--sizes=5243", "--type=record"}, memory).find("5243 elements do not fit"), std::string::npos);
    EXPECT_GT(physical_memory_bytes(), 0u);
}

TEST(ExperimentOptions, AnInputFileMustHoldWholeElements)
{
    test_support::temp_dir dir;
    std::string const good = dir.file("good");
    test_support::write_file(good, std::string(10 * sizeof(element), 'x'));
    test_support::write_file(dir.file("ragged"), std::string(10 * sizeof(element) + 1, 'x'));
    test_support::write_file(dir.file("empty"), "");

    experiment_options const whole = parse_options({"--input-file=" + good}, plenty);
    EXPECT_EQ(whole.input_file, good);
    EXPECT_EQ(whole.sizes, (std::vector<std::uint64_t>{10}));  // the whole file by default
    EXPECT_EQ(parse_options({"--input-file=" + good, "--sizes=3,10"}, plenty).sizes, (std::vector<std::uint64_t>{3, 10}));

    EXPECT_NE(refusal({"--input-file=" + dir.file("ragged")}).find("not a multiple of the 16 bytes"), std::string::npos);
    // The item size is the type's: 161 bytes are no whole records either, 160 are 40 ints.
    EXPECT_NE(refusal({"--type=record", "--input-file=" + dir.file("ragged")}).find("not a multiple of the 100 bytes of a record"),
              std::string::npos);
    EXPECT_EQ(parse_options({"--type=int", "--input-file=" + good}, plenty).sizes, (std::vector<std::uint64_t>{40}));
    EXPECT_NE(refusal({"--input-file=" + dir.file("empty")}).find("is empty"), std::string::npos);
    EXPECT_NE(refusal({"--input-file=" + good, "--sizes=11"}).find("more than the 10 elements"), std::string::npos);
    EXPECT_NE(refusal({"--input-file=" + good}, 9 * 32).find("do not fit"), std::string::npos);
    EXPECT_NE(refusal({"--input=sorted", "--input-file=" + good}).find("exclude each other"), std::string::npos);
}

// A machine with valgrind and a described 32 KiB / 1 MiB cache pair, and one without either.
simulation_setup const lab{"/usr/bin/valgrind", {32768, 8, 64}, {1048576, 16, 64}};
simulation_setup const bare{"", {}, {}};

std::string simulated_refusal(args const& given, simulation_setup const& machine)
{
    try {
        parse_options(given, plenty, machine);
    } catch (usage_error const& e) {
        return e.what();
    }
    return "";
}

TEST(ExperimentOptions, SimulatedCountersTakeTheMachinesCachesUnlessGiven)
{
    experiment_options const own = parse_options({"--counters=simulated"}, plenty, lab);
    EXPECT_EQ(own.counters, counter_mode::simulated);
    EXPECT_EQ(own.simulation.valgrind, "/usr/bin/valgrind");
    EXPECT_EQ(geometry_text(own.simulation.l1), "32768/8/64");
    EXPECT_EQ(geometry_text(own.simulation.l2), "1048576/16/64");

    experiment_options const given = parse_options(
        {"--counters=simulated", "--l2-size=2M", "--l2-ways=8", "--l1-size=16K", "--l1-line=32"}, plenty, lab);
    EXPECT_EQ(geometry_text(given.simulation.l1), "16384/8/32");
    EXPECT_EQ(geometry_text(given.simulation.l2), "2097152/8/64");
    // A machine that describes no cache needs all three values of each level.
    experiment_options const described = parse_options({"--counters=simulated", "--l1-size=32768", "--l1-ways=8",
                                                        "--l1-line=64", "--l2-size=4M", "--l2-ways=16", "--l2-line=64"},
                                                       plenty, simulation_setup{"/bin/valgrind", {}, {}});
    EXPECT_EQ(geometry_text(described.simulation.l2), "4194304/16/64");

    // A list of sizes in one level sweeps it; without one, the second level is set against the bound.
    EXPECT_EQ(own.simulation.bound_level, 2u);
    EXPECT_TRUE(own.simulation.swept_sizes.empty());
    experiment_options const swept =
        parse_options({"--counters=simulated", "--l1-size=8K,16K,64K", "--l2-size=4M"}, plenty, lab);
    EXPECT_EQ(swept.simulation.bound_level, 1u);
    EXPECT_EQ(swept.simulation.swept_sizes, (std::vector<std::uint64_t>{8192, 16384, 65536}));
    EXPECT_EQ(geometry_text(swept.simulation.l2), "4194304/16/64");
}

TEST(ExperimentOptions, RefusesSimulationWithoutValgrindOrWithAGeometryItCannotModel)
{
    struct bad {
        args given;
        simulation_setup machine;
        char const* says;
    };
    std::vector<bad> const cases = {
        {{"--counters=simulated"}, bare, "install the package valgrind"},
        {{"--counters=simulated"}, simulation_setup{"/bin/valgrind", {32768, 8, 64}, {}},
         "does not describe its level-2 data cache; give --l2-size, --l2-ways and --l2-line"},
        {{"--counters=simulated", "--l2-size=3000000"}, lab, "set count"},
        {{"--counters=simulated", "--l2-size=1M,3000000"}, lab, "the level-2 cache 3000000/16/64 (size/ways/line)"},
        {{"--counters=simulated", "--l2-size=1M,2M", "--l1-size=16K,32K"}, lab, "only one of them may be a list"},
        {{"--counters=simulated", "--l2-size=1M,1024K"}, lab, "--l2-size: '1024K' is given twice"},
        {{"--counters=simulated", "--l2-size=1M,"}, lab, "an empty item"},
        {{"--counters=simulated", "--l1-line=48"}, lab, "--l1-size/-ways/-line: the level-1 cache 32768/8/48"},
        {{"--counters=simulated", "--l1-ways=0"}, lab, "--l1-ways: must be at least 1"},
        {{"--counters=simulated", "--l2-size=2G"}, lab, "the simulator takes caches below 2 GiB only"},
        {{"--counters=simulated", "--l2-size=2T"}, lab, "not an unsigned decimal number"},
        {{"--counters=simulated", "--l2-size=2000000M"}, lab, "too large"},
        {{"--counters=auto", "--l2-size=2M"}, lab, "need --counters=simulated"},
        {{"--l1-ways=4"}, lab, "need --counters=simulated"},
        {{"--simulated-run=5", "--sizes=10,20", "--variants=cached-stack"}, lab, "one size and one variant"},
        {{"--simulated-run=5", "--sizes=10"}, lab, "one size and one variant"},
    };
    for (bad const& c : cases) {
        std::string const text = simulated_refusal(c.given, c.machine);
        EXPECT_NE(text.find(c.says), std::string::npos) << c.given.back() << ": " << text;
    }
    // Other modes do not need valgrind.
    EXPECT_EQ(simulated_refusal({"--counters=none"}, bare), "");
}

}  // namespace

#include "bench/experiment_options.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "auto_array/scratch_mapping.hpp"
#include "bench/benchmark.hpp"
#include "bench/tuning_options.hpp"
#include "bench/experiment_run.hpp"
#include "gen/input_patterns.hpp"

namespace {

constexpr std::uint32_t max_repeat = 1000000;

using setter = std::function<void(experiment_options& options, std::string const& value, std::uint64_t memory_bytes)>;

// " cached-stack, cached-heap, ...": every variant's name.
std::string variant_names()
{
    std::string names;
    char const* separator = " ";
    for (variant const& v : all_variants()) {
        names += separator;
        names += v.name;
        separator = ", ";
    }
    return names;
}

std::uint64_t parse_number(std::string const& option, std::string const& text)
{
    constexpr std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
    if (text.empty()) throw usage_error(option + ": a number is missing");
    std::uint64_t value = 0;
    for (char const c : text) {
        if (c < '0' || c > '9') throw usage_error(option + ": '" + text + "' is not an unsigned decimal number");
        auto const digit = static_cast<std::uint64_t>(c - '0');
        if (value > (largest - digit) / 10) throw usage_error(option + ": '" + text + "' is too large");
        value = value * 10 + digit;
    }
    return value;
}

std::vector<std::string> split_list(std::string const& option, std::string const& text)
{
    std::vector<std::string> items;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) items.push_back(item);
    if (items.empty() || text.back() == ',') throw usage_error(option + ": an empty item in '" + text + "'");
    for (std::string const& item : items) {
        if (item.empty()) throw usage_error(option + ": an empty item in '" + text + "'");
    }
    return items;
}

void set_counters(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (value == "papi") {
        options.counters = counter_mode::papi;
    } else if (value == "auto") {
        options.counters = counter_mode::automatic;
    } else if (value == "none") {
        options.counters = counter_mode::none;
    } else if (value == "simulated") {
        options.counters = counter_mode::simulated;
    } else {
        throw usage_error("--counters: '" + value + "' is not papi, auto, none or simulated");
    }
}

void set_sizes(experiment_options& options, std::string const& value, std::uint64_t)
{
    for (std::string const& item : split_list("--sizes", value)) {
        std::uint64_t const n = parse_number("--sizes", item);
        if (n == 0) throw usage_error("--sizes: a size must be at least 1");
        options.sizes.push_back(n);
    }
}

// Names and groups; a group brings its members not named before, so that "funnel,all" is
// allowed, while a name given twice is refused.
void set_variants(experiment_options& options, std::string const& value, std::uint64_t)
{
    for (std::string const& item : split_list("--variants", value)) {
        std::vector<variant const*> const group = variant_group_members(item);
        if (!group.empty()) {
            for (variant const* v : group) {
                if (std::find(options.variants.begin(), options.variants.end(), v) == options.variants.end()) {
                    options.variants.push_back(v);
                }
            }
            continue;
        }
        variant const* const v = find_variant(item);
        if (v == nullptr) {
            throw usage_error("--variants: unknown variant '" + item + "'; one of" + variant_names() +
                              ", or a group: funnel, peers, all");
        }
        if (std::find(options.variants.begin(), options.variants.end(), v) != options.variants.end()) {
            throw usage_error("--variants: '" + item + "' is named twice (or after a group that holds it)");
        }
        options.variants.push_back(v);
        options.named_variants.push_back(v);
    }
}

void set_type(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (!find_item_type(value, options.type)) {
        throw usage_error("--type: '" + value + "' is not " + item_type_names());
    }
}

void set_repeat(experiment_options& options, std::string const& value, std::uint64_t)
{
    std::uint64_t const n = parse_number("--repeat", value);
    if (n == 0 || n > max_repeat) {
        throw usage_error("--repeat: the count must lie between 1 and " + std::to_string(max_repeat));
    }
    options.repeat = static_cast<std::uint32_t>(n);
}

void set_sorts_per_measurement(experiment_options& options, std::string const& value, std::uint64_t)
{
    std::uint64_t const k = parse_number("--sorts-per-measurement", value);
    if (k == 0 || k > max_sorts_per_measurement) {
        throw usage_error("--sorts-per-measurement: the count must lie between 1 and " +
                          std::to_string(max_sorts_per_measurement));
    }
    options.sorts_per_measurement = k;
}

void set_seed(experiment_options& options, std::string const& value, std::uint64_t)
{
    options.seed = parse_number("--seed", value);
    options.seeded = true;
}

void set_input(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (!gen::is_input_pattern(value)) throw usage_error("--input: unknown input '" + value + "'");
    options.input = value;
}

void set_input_file(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (value.empty()) throw usage_error("--input-file: the path is missing");
    options.input_file = value;
}

void set_format(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (value == "xml") {
        options.format = report_format::xml;
    } else if (value == "csv") {
        options.format = report_format::csv;
    } else if (value == "json") {
        options.format = report_format::json;
    } else {
        throw usage_error("--format: '" + value + "' is not xml, csv or json");
    }
}

// Bytes, or KiB, MiB, GiB with a K, M or G at the end.
std::uint64_t parse_bytes(std::string const& option, std::string const& text)
{
    constexpr std::uint64_t largest = std::uint64_t{1} << 40;
    std::uint32_t shift = 0;
    std::string digits = text;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'M' || text.back() == 'G')) {
        shift = text.back() == 'K' ? 10 : text.back() == 'M' ? 20 : 30;
        digits.pop_back();
    }
    std::uint64_t const value = parse_number(option, digits);
    if (value > (largest >> shift)) throw usage_error(option + ": '" + text + "' is too large");
    return value << shift;
}

// The options of the simulated cache geometry: the level and field each sets, and whether its
// value is a size in bytes (which takes a K, M or G suffix) or a plain count.
struct cache_option {
    char const* name;
    cache_geometry simulation_setup::*level;
    std::uint64_t cache_geometry::*field;
    bool bytes;
};

cache_option const cache_options[] = {
    {"--l1-size", &simulation_setup::l1, &cache_geometry::size, true},
    {"--l1-ways", &simulation_setup::l1, &cache_geometry::ways, false},
    {"--l1-line", &simulation_setup::l1, &cache_geometry::line, true},
    {"--l2-size", &simulation_setup::l2, &cache_geometry::size, true},
    {"--l2-ways", &simulation_setup::l2, &cache_geometry::ways, false},
    {"--l2-line", &simulation_setup::l2, &cache_geometry::line, true},
};

std::uint64_t parse_cache_field(cache_option const& option, std::string const& value)
{
    std::uint64_t const field = option.bytes ? parse_bytes(option.name, value) : parse_number(option.name, value);
    if (field == 0) throw usage_error(std::string(option.name) + ": must be at least 1");
    return field;
}

// A list of sizes sweeps that level's size: its runs take each size in turn, and its misses are
// set against the model's bound. One level at a time.
void set_swept_sizes(experiment_options& options, cache_option const& option, std::string const& value)
{
    simulation_setup& simulation = options.simulation;
    if (!simulation.swept_sizes.empty()) throw usage_error("--l1-size and --l2-size: only one of them may be a list");
    for (std::string const& item : split_list(option.name, value)) {
        std::uint64_t const size = parse_cache_field(option, item);
        if (std::find(simulation.swept_sizes.begin(), simulation.swept_sizes.end(), size) != simulation.swept_sizes.end()) {
            throw usage_error(std::string(option.name) + ": '" + item + "' is given twice");
        }
        simulation.swept_sizes.push_back(size);
    }
    simulation.bound_level = option.level == &simulation_setup::l1 ? 1 : 2;
    (simulation.*option.level).size = simulation.swept_sizes.front();
}

void set_cache_field(experiment_options& options, cache_option const& option, std::string const& value)
{
    if (option.field == &cache_geometry::size && value.find(',') != std::string::npos) {
        return set_swept_sizes(options, option, value);
    }
    (options.simulation.*option.level).*option.field = parse_cache_field(option, value);
}

// A list of alphas or of ds; a value given twice would only repeat the same runs.
template <class T>
void set_tuning_list(std::vector<T>& values, std::string const& option, std::string const& text,
                     T (*parse)(std::string const&, std::string const&))
{
    values.clear();
    for (std::string const& item : split_list(option, text)) {
        T value{};
        try {
            value = parse(option, item);
        } catch (std::invalid_argument const& e) {
            throw usage_error(e.what());
        }
        if (std::find(values.begin(), values.end(), value) != values.end()) {
            throw usage_error(option + ": '" + item + "' is given twice");
        }
        values.push_back(value);
    }
}

void set_alpha(experiment_options& options, std::string const& value, std::uint64_t)
{
    set_tuning_list(options.alphas, "--alpha", value, parse_alpha);
}

void set_d(experiment_options& options, std::string const& value, std::uint64_t)
{
    set_tuning_list(options.ds, "--d", value, parse_d);
}

// What sets the memory limit, for a refusal: "; the limit is RLIMIT_AS (ulimit -v), N bytes".
std::string limit_text(memory_limit const& memory)
{
    return "; the limit is " + memory.source + ", " + std::to_string(memory.bytes) + " bytes";
}

// Every setting must sort every size of the funnel variants in this memory.
void check_tunings(experiment_options const& options, std::uint64_t memory_bytes)
{
    bool funnel = false;
    for (variant const* v : options.variants) funnel = funnel || v->group == variant_group::funnel;
    if (!funnel) return;
    for (funnel::tuning const t : options.tunings()) {
        for (std::uint64_t const n : options.sizes) {
            std::string const problem = tuning_problem(n, t, options.type, memory_bytes);
            if (!problem.empty()) throw usage_error("--alpha/--d: " + problem);
        }
    }
}

void set_storage(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (value != "memory" && value != "mapped") throw usage_error("--storage: '" + value + "' is not memory or mapped");
    options.mapped = value == "mapped";
}

void set_scratch_dir(experiment_options& options, std::string const& value, std::uint64_t)
{
    if (value.empty()) throw usage_error("--scratch-dir: the folder is missing");
    options.scratch_dir = value;
}

// Bytes, or KiB, MiB, GiB with a K, M or G at the end; at least 1M.
void set_memory_limit(experiment_options& options, std::string const& value, std::uint64_t)
{
    std::uint64_t const bytes = parse_bytes("--memory-limit", value);
    constexpr std::uint64_t smallest = std::uint64_t{1} << 20;
    if (bytes < smallest) throw usage_error("--memory-limit: '" + value + "' is less than 1M");
    options.memory_limit = bytes;
    options.memory_limit_text = value;
}

void set_simulated_run(experiment_options& options, std::string const& value, std::uint64_t)
{
    options.simulated_child = true;
    options.child_seed = parse_number("--simulated-run", value);
}

std::map<std::string, setter> const& setters()
{
    static std::map<std::string, setter> const all = [] {
        std::map<std::string, setter> options = {
            {"--counters", set_counters}, {"--sizes", set_sizes},           {"--variants", set_variants},
            {"--repeat", set_repeat},     {"--seed", set_seed},             {"--input", set_input},
            {"--type", set_type},         {"--input-file", set_input_file}, {"--format", set_format},
            {"--simulated-run", set_simulated_run}, {"--sorts-per-measurement", set_sorts_per_measurement},
            {"--alpha", set_alpha},       {"--d", set_d},
            {"--storage", set_storage},             {"--scratch-dir", set_scratch_dir},
            {"--memory-limit", set_memory_limit},
        };
        for (cache_option const& option : cache_options) {
            options[option.name] = [&option](experiment_options& o, std::string const& value, std::uint64_t) {
                set_cache_field(o, option, value);
            };
        }
        return options;
    }();
    return all;
}

// The file must be a readable file of the item type: present, a regular file, not empty, whole
// items only. It is only ever read, so reading is all it must allow.
std::uint64_t file_items(std::string const& path, item_type type)
{
    std::uint64_t const size = item_size(type);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) throw usage_error("--input-file: cannot find '" + path + "'");
    if (!S_ISREG(status.st_mode)) throw usage_error("--input-file: '" + path + "' is not a regular file");
    auto const bytes = static_cast<std::uint64_t>(status.st_size);
    if (bytes == 0) throw usage_error("--input-file: '" + path + "' is empty");
    if (bytes % size != 0) {
        std::string const name = item_type_name(type);
        std::string const item = (std::string("aeiou").find(name.front()) != std::string::npos ? "an " : "a ") + name;
        throw usage_error("--input-file: '" + path + "' holds " + std::to_string(bytes) +
                          " bytes, not a multiple of the " + std::to_string(size) + " bytes of " + item);
    }
    int const fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw usage_error("--input-file: '" + path + "' cannot be opened for reading: " + std::strerror(errno));
    }
    close(fd);
    return bytes / size;
}

void check_input_file(experiment_options& options, bool input_given, memory_limit const& memory)
{
    if (input_given) throw usage_error("--input and --input-file exclude each other");
    // A file's items are sorted as they are: there is nothing a seed could choose.
    if (options.seeded) throw usage_error("--seed and --input-file exclude each other");
    std::uint64_t const items = file_items(options.input_file, options.type);
    if (options.sizes.empty()) {
        // With mapped storage the scratch folder's disk bounds the size instead (check_scratch_dir).
        if (!options.mapped && items > largest_size(memory.bytes, options.type)) {
            throw usage_error("--input-file: its " + std::to_string(items) +
                              " elements do not fit into this machine's memory" + limit_text(memory));
        }
        options.sizes.push_back(items);
    }
    for (std::uint64_t const n : options.sizes) {
        if (n > items) {
            throw usage_error("--sizes: " + std::to_string(n) + " is more than the " + std::to_string(items) +
                              " elements of the input file");
        }
    }
}

// Fills the levels the options left open from the machine and refuses what cannot be simulated.
void check_simulation(experiment_options& options, simulation_setup const& machine)
{
    if (machine.valgrind.empty()) {
        throw usage_error("--counters=simulated needs valgrind, which is not installed: install the package "
                          "valgrind (apt-get install valgrind)");
    }
    options.simulation.valgrind = machine.valgrind;
    for (std::uint32_t const level : {1u, 2u}) {
        cache_geometry& cache = level == 1 ? options.simulation.l1 : options.simulation.l2;
        cache_geometry const& found = level == 1 ? machine.l1 : machine.l2;
        std::string const prefix = "--l" + std::to_string(level);
        if (cache.size == 0) cache.size = found.size;
        if (cache.ways == 0) cache.ways = found.ways;
        if (cache.line == 0) cache.line = found.line;
        if (cache.size == 0 || cache.ways == 0 || cache.line == 0) {
            throw usage_error("--counters=simulated: this machine does not describe its level-" +
                              std::to_string(level) + " data cache; give " + prefix + "-size, " + prefix +
                              "-ways and " + prefix + "-line");
        }
        // Every size a sweep gives the level must be simulated.
        std::vector<std::uint64_t> sizes = {cache.size};
        if (level == options.simulation.bound_level && !options.simulation.swept_sizes.empty()) {
            sizes = options.simulation.swept_sizes;
        }
        for (std::uint64_t const size : sizes) {
            cache_geometry const run_cache{size, cache.ways, cache.line};
            std::string const problem = geometry_problem(run_cache);
            if (!problem.empty()) {
                throw usage_error(prefix + "-size/-ways/-line: the level-" + std::to_string(level) + " cache " +
                                  geometry_text(run_cache) + " (size/ways/line) cannot be simulated: " + problem);
            }
        }
    }
}

// A variant named on its own must sort the type; a group keeps those of its members that do (the
// funnel variants sort every type, so no group is left empty).
void check_type(experiment_options& options)
{
    std::string const type = item_type_name(options.type);
    for (variant const* v : options.named_variants) {
        if (!v->sorts(options.type)) {
            throw usage_error("--type=" + type + ": the variant '" + v->name + "' does not sort " + type + " items");
        }
    }
    std::vector<variant const*> kept;
    for (variant const* v : options.variants) {
        if (v->sorts(options.type)) kept.push_back(v);
    }
    options.variants = kept;
}

// The runs one after the other need room for the largest one's files.
void check_scratch_dir(experiment_options const& options)
{
    std::uint64_t const largest = *std::max_element(options.sizes.begin(), options.sizes.end());
    std::uint64_t const bytes = mapped_arrays_per_item * item_size(options.type) * largest;
    std::string const problem = auto_array::scratch_folder_problem(options.scratch_dir, bytes);
    if (!problem.empty()) throw usage_error("--scratch-dir: " + problem);
}

bool names_geometry(std::set<std::string> const& given)
{
    for (cache_option const& option : cache_options) {
        if (given.count(option.name) != 0) return true;
    }
    return false;
}

}  // namespace

experiment_options parse_options(std::vector<std::string> const& args, memory_limit const& memory)
{
    return parse_options(args, memory, machine_simulation_setup());
}

experiment_options parse_options(std::vector<std::string> const& args, memory_limit const& memory,
                                 simulation_setup const& machine)
{
    std::uint64_t const memory_bytes = memory.bytes;
    experiment_options options;
    std::set<std::string> given;
    for (std::string const& arg : args) {
        std::size_t const equals = arg.find('=');
        std::string const name = arg.substr(0, equals);
        auto const found = setters().find(name);
        if (found == setters().end()) throw usage_error("unknown option '" + arg + "'");
        if (equals == std::string::npos) throw usage_error(name + ": a value is missing (" + name + "=...)");
        if (!given.insert(name).second) throw usage_error(name + " is given twice");
        found->second(options, arg.substr(equals + 1), memory_bytes);
    }
    // Once the type is known: every size must fit with items of its size, in memory, or with mapped
    // storage on the scratch folder's disk.
    if (given.count("--scratch-dir") != 0 && !options.mapped) {
        throw usage_error("--scratch-dir needs --storage=mapped");
    }
    if (options.memory_limit != 0 && options.counters == counter_mode::simulated) {
        throw usage_error("--memory-limit cannot confine the simulated runs, which run under valgrind; use "
                          "--counters=none or auto");
    }
    for (std::uint64_t const n : options.sizes) {
        if (!options.mapped && n > largest_size(memory_bytes, options.type)) {
            throw usage_error("--sizes: " + std::to_string(n) + " elements do not fit into this machine's memory (at most " +
                              std::to_string(largest_size(memory_bytes, options.type)) + ")" + limit_text(memory));
        }
    }
    if (!options.input_file.empty()) {
        check_input_file(options, given.count("--input") != 0, memory);
    }
    if (options.counters == counter_mode::simulated) {
        check_simulation(options, machine);
    } else if (names_geometry(given)) {
        throw usage_error("the cache geometry options (--l1-size, ...) need --counters=simulated");
    }
    if (options.simulated_child && (options.sizes.size() != 1 || options.variants.size() != 1)) {
        throw usage_error("--simulated-run needs one size and one variant");
    }
    if (options.sizes.empty()) options.sizes = benchmark_sizes();
    if (options.mapped) check_scratch_dir(options);
    if (options.variants.empty()) options.variants = funnel_variants();
    check_type(options);
    // Mapped runs keep the funnel's trees and scratch in files, bounded by the disk, not by memory.
    check_tunings(options, options.mapped ? std::numeric_limits<std::uint64_t>::max() : memory_bytes);
    return options;
}

void write_usage(std::ostream& out)
{
    out << "usage: corvane                 the benchmark's fixed XML report\n"
           "       corvane OPTION...       an experiment, with these options:\n"
           "  --counters=papi|auto|none|simulated\n"
           "                              miss counters: both PAPI presets as the report has them (papi),\n"
           "                              whatever the machine offers (auto, the default), none, or data cache\n"
           "                              misses of the same sort run again under valgrind's cache simulator\n"
           "                              (simulated, about 50 times slower; no TLB)\n"
           "  --sizes=N,N,...             item counts (default: the benchmark's six sizes)\n"
           "  --variants=V,V,...          sorts by name, or the groups funnel (the four funnel variants, the\n"
           "                              default), peers (std-sort, std-stable-sort, pdqsort-branchless,\n"
           "                              vqsort, spinsort, flat-stable-sort), library (funnel-sort,\n"
           "                              funnel-stable-sort) and all; the names:\n"
           "                             "
        << variant_names()
        << "\n"
           "  --type=TYPE                 the item type as datlow writes it: element (the default), int or\n"
           "                              record; vqsort sorts element and int, every other variant all three\n"
           "  --repeat=N                  runs of every size and variant, each on fresh input (default: 1)\n"
           "  --seed=S                    seed of the inputs, for reproducible runs (default: the clock)\n"
           "  --sorts-per-measurement=K   sorts of K copies of the input timed as one (default: enough for\n"
           "                              about 10 ms, from a warm-up of each size)\n"
           "  --input=NAME                the input pattern (default: uniform), one of:\n"
           "                             ";
    for (std::string const& name : gen::input_pattern_names()) out << ' ' << name;
    out << "\n"
           "  --input-file=PATH           sort the first N items of a file of the --type written by datlow\n"
           "                              (default size: the whole file)\n"
           "  --format=xml|csv|json       the report's form (default: xml)\n"
           "  --alpha=A,A,...             the funnel's alpha, whole numbers from 1 (default: 4)\n"
           "  --d=D,D,...                 the funnel's d, decimals above 1 (default: 2.5); the funnel variants\n"
           "                              run at every alpha with every d, the other sorts once\n"
           "  --storage=memory|mapped     where a run keeps its large arrays: anonymous memory (the default)\n"
           "                              or scratch files mapped shared, which the kernel can evict\n"
           "  --scratch-dir=DIR           the folder of the scratch files (default: /var/tmp); on disk, not tmpfs\n"
           "  --memory-limit=SIZE         run each sort in a child process in a memory cgroup of SIZE bytes\n"
           "                              (K, M or G for KiB, MiB, GiB); not with --counters=simulated\n"
           "  --l1-size=BYTES, --l1-ways=N, --l1-line=BYTES\n"
           "  --l2-size=BYTES, --l2-ways=N, --l2-line=BYTES\n"
           "                              the simulated level-1 data and level-2 caches (default: this\n"
           "                              machine's); sizes may end in K or M; line and set count must be\n"
           "                              powers of two. A list of sizes in one level (--l2-size=256K,1M)\n"
           "                              runs every variant at each size; that level's misses are set\n"
           "                              against the bound, the second level's otherwise\n"
        << std::flush;
}

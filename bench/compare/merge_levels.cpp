// merge_levels: where one funnel sort moves its elements. Sorts one input with the pool tree and
// prints, per level of the merge trees (0 is a tree's root, summed over every tree the sort
// uses), the elements the nodes of that level moved, their node calls and the mean elements per
// call; then the elements that left their batches as leading blocks, ahead of the trees, and the
// number of those blocks. The counting merge step is compiled into this tool only; the sorts elsewhere report to
// a policy that does nothing.
//
// Usage: merge_levels [--alpha=A] [--d=D] [ELEMENTS [cached|uncached [INPUT]]]   (defaults: 1920000 cached uniform)

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "alloc/stack_allocator.hpp"
#include "cli/count_argument.hpp"
#include "cli/out_of_memory.hpp"
#include "cli/standard_flags.hpp"
#include "funnel/element_trees.hpp"
#include "bench/tuning_options.hpp"
#include "funnel/tuning.hpp"
#include "gen/input_patterns.hpp"
#include "items/element.hpp"
#include "sort/sort_entry.hpp"
#include "sort/tuning.hpp"

namespace {

struct level_count {
    std::uint64_t moved = 0;
    std::uint64_t calls = 0;
};

std::vector<level_count> levels;
level_count ahead;  // leading blocks: elements moved, and blocks as "calls"

// The level of breadth-first index x is its bit length less one.
struct counting {
    static void node_call(std::int32_t x, std::ptrdiff_t moved)
    {
        std::size_t level = 0;
        for (std::int32_t rest = x; rest > 1; rest /= 2) {
            ++level;
        }
        if (levels.size() <= level) {
            levels.resize(level + 1);
        }
        levels[level].moved += static_cast<std::uint64_t>(moved);
        ++levels[level].calls;
    }
    static void leading_block(std::ptrdiff_t moved)
    {
        ahead.moved += static_cast<std::uint64_t>(moved);
        ++ahead.calls;
    }
};

using counting_tree = funnel::rec_merge_tree<
    element, funnel::buffer<element*>,
    funnel::mixed_veb_layout<funnel::pointer_flip_navigator<funnel::pointer_flip_node<2, element*>, funnel::my_splitter<2>>,
                             funnel::my_splitter<2>, element, stack_allocator<element>>,
    funnel::simple_merger<2, funnel::buffer<element*>, element, counting>, funnel::my_splitter<2>,
    funnel::nop_refill<element*>>;

constexpr char const* usage_text = "usage: merge_levels [--alpha=A] [--d=D] [ELEMENTS [cached|uncached [INPUT]]]\n";

int usage()
{
    std::fputs(usage_text, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && cli::asks_for_help(argv[1])) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (argc == 2 && cli::asks_for_version(argv[1])) {
        cli::write_version(std::cout, "merge_levels");
        return 0;
    }
    // --alpha=A and --d=D may stand anywhere; the rest are the positional arguments.
    funnel::tuning setting = funnel::default_tuning;
    std::vector<std::string> positional;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string const arg = argv[i];
            if (arg.rfind("--alpha=", 0) == 0) {
                setting.alpha = parse_alpha("--alpha", arg.substr(8));
            } else if (arg.rfind("--d=", 0) == 0) {
                setting.d = parse_d("--d", arg.substr(4));
            } else {
                positional.push_back(arg);
            }
        }
    } catch (std::invalid_argument const& e) {
        std::fprintf(stderr, "merge_levels: %s\n", e.what());
        return usage();
    }
    constexpr std::size_t most_arguments = 3;
    if (positional.size() > most_arguments) {
        return usage();
    }
    // Any count the vectors below can be asked for; whether the memory is there shows when they are made.
    std::optional<std::uint64_t> const count =
        !positional.empty() ? cli::parse_count(positional[0].c_str(), std::vector<element>().max_size()) : 1920000;
    std::string const which = positional.size() > 1 ? positional[1] : "cached";
    std::string const input_name = positional.size() > 2 ? positional[2] : "uniform";
    if (!count || *count == 0 || (which != "cached" && which != "uncached") || !gen::is_input_pattern(input_name)) {
        return usage();
    }
    std::uint64_t const n = *count;
    // Only what the setting cannot do at all; memory that is not there shows as it does at any setting.
    std::string const problem =
        tuning_problem(n, setting, item_type::element, std::numeric_limits<std::uint64_t>::max());
    if (!problem.empty()) {
        std::fprintf(stderr, "merge_levels: --alpha/--d: %s\n", problem.c_str());
        return 2;
    }
    srand48(20261208);
    try {
        std::vector<element> input(n);
        std::vector<element> out(n);
        gen::fill_input(input_name, input.data(), input.data() + n);
        sort_entry<counting_tree>(which == "cached" ? driver::cached : driver::uncached, input.data(),
                                  input.data() + n, out.data(), setting);
    } catch (std::bad_alloc const&) {
        std::fprintf(stderr, "merge_levels: %s\n", cli::not_enough_memory(n, "elements").c_str());
        return 1;
    } catch (std::exception const& e) {
        std::fprintf(stderr, "merge_levels: %s\n", e.what());
        return 1;
    }
    if (static_cast<std::int64_t>(n) <= base_case_threshold(setting) + 1) {
        std::printf("n = %llu is sorted directly, without a merge tree\n", static_cast<unsigned long long>(n));
        return 0;
    }
    std::printf("n = %llu, %s driver, %s input; level 0 is a tree's root\n", static_cast<unsigned long long>(n),
                which.c_str(), input_name.c_str());
    std::printf("%5s %16s %14s %16s %18s\n", "level", "elements moved", "node calls", "per call (mean)",
                "moved per element");
    auto const print_row = [n](char const* label, level_count const& c) {
        std::printf("%5s %16llu %14llu %16.1f %18.2f\n", label, static_cast<unsigned long long>(c.moved),
                    static_cast<unsigned long long>(c.calls),
                    c.calls == 0 ? 0.0 : static_cast<double>(c.moved) / static_cast<double>(c.calls),
                    static_cast<double>(c.moved) / static_cast<double>(n));
    };
    for (std::size_t level = 0; level < levels.size(); ++level) {
        print_row(std::to_string(level).c_str(), levels[level]);
    }
    std::printf("ahead: elements that left their batch as a leading block, before its tree; calls are blocks\n");
    print_row("ahead", ahead);
    return 0;
}

// datlow: writes a file of sort items (int, element or record) laid out by one of several input
// distributions, through a mapping of the file.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#include "auto_array/aarray.hpp"
#include "auto_array/map_file.hpp"
#include "cli/count_argument.hpp"
#include "cli/standard_descriptors.hpp"
#include "cli/standard_flags.hpp"
#include "gen/distribution_letters.hpp"
#include "gen/output_file.hpp"
#include "items/element.hpp"
#include "items/record.hpp"

namespace {

// The scratch file the items are made in: mapped writable, filled front to back.
constexpr int output_flags = auto_array::flag::writable | auto_array::flag::sequential;

// Where the two leading characters of an argument are followed by its letter.
constexpr int letter_position = 2;

// The size was an int: larger counts are refused rather than wrapped.
constexpr std::uint64_t largest_size = std::numeric_limits<int>::max();

// drand48's seed takes 32 bits.
constexpr std::uint64_t largest_seed = std::numeric_limits<std::uint32_t>::max();

void print_usage(std::ostream& out)
{
    out << "datlow -e{i|p|r} -d{u|m|M|d|D|e|t|k} size name" << std::endl;
    out << std::endl;
    out << "  u: uniform distribution" << std::endl;
    out << "  m: almost sorted; missing merge-phase; log(size) runs" << std::endl;
    out << "  M: almost sorted; missing merge-phase; sqrt(size) runs" << std::endl;
    out << "  d: almost sorted; distributed; log(size) sized bucket" << std::endl;
    out << "  D: almost sorted; distributed; sqrt(size) sized  bucket" << std::endl;
    out << "  e: few distinct; log(size) distinct elements" << std::endl;
    out << "  E: few distinct; sqrt(size) distinct elements" << std::endl;
    out << "  t: unbalanced" << std::endl;
    out << "  k: partition killer" << std::endl;
}

[[noreturn]] void exit_usage()
{
    print_usage(std::cerr);
    std::exit(EXIT_FAILURE);
}

// A size that is no plain decimal count: the usage, then what a size must be.
[[noreturn]] void exit_usage_of_size()
{
    print_usage(std::cerr);
    std::cerr << "size must be a whole number from 0 to " << largest_size << " (0: every item of the existing file)"
              << std::endl;
    std::exit(EXIT_FAILURE);
}

// A seed that is no plain decimal: the usage, then what a seed must be.
[[noreturn]] void exit_usage_of_seed()
{
    print_usage(std::cerr);
    std::cerr << "seed must be a whole number from 0 to " << largest_seed << std::endl;
    std::exit(EXIT_FAILURE);
}

// A seed for a run without one: two runs in the same second must not make the same file, so the
// clock's nanoseconds are mixed with the process id (the finaliser of splitmix64 spreads nearby
// values over all 32 bits that drand48 takes).
std::uint32_t fresh_seed()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t x = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
    x ^= static_cast<std::uint64_t>(getpid()) << 40;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
}

// "Unknown distribution", then the letter given and the letters that work.
std::string unknown_distribution(char dist)
{
    std::string text = "Unknown distribution '" + std::string(dist == '\0' ? 0 : 1, dist) + "'; the letters that work:";
    for (char const known : gen::all_letters) (text += ' ') += known;
    return text;
}

// Fills the file name with size items in distribution dist, drawn from the seed; a size of 0
// refills every whole item the file already holds. Everything that can be checked is checked
// before the file is touched, and a failure leaves it as it was (see output_file).
template <typename T>
void datlow(char const* name, unsigned long size, char dist, std::uint32_t seed)
{
    if (!gen::names_distribution(dist)) {
        throw std::invalid_argument(unknown_distribution(dist));
    }
    gen::output_file file(name, sizeof(T));
    if (size == 0 && !file.exists()) {
        throw auto_array::mapping_error(auto_array::detail::error_text(ENOENT) +
                                        " (a size of 0 rewrites the items of an existing file)");
    }
    // Nothing to rewrite in a file shorter than one item, not even for the uniform distribution
    // that would leave the items as they are.
    if (size == 0 && file.whole_items() == 0) {
        throw auto_array::mapping_error(auto_array::no_items_reason);
    }
    // Uniform counts with size, so a size of 0 leaves the existing items as they are.
    if (size == 0 && dist == gen::letter::uniform) {
        return;
    }
    unsigned long const n = size != 0 ? size : file.whole_items();
    // The killer's index table is the one large block a distribution needs besides the items.
    std::vector<long> killer_table;
    if (dist == gen::letter::killer) {
        killer_table.reserve(n);
    }

    auto_array::map_array<T> items(file.prepare(), output_flags, n);
    T* const first = items.Data();
    T* const last = first + n;
    if (dist == gen::letter::killer) {
        gen::arrange_killer(first, last, std::move(killer_table));
    } else {
        srand48(static_cast<long>(seed));
        gen::fill_distribution<T>(dist, first, last, gen::seeding::as_given);
    }
    file.commit(first, n);
}

}  // namespace

int main(int argc, char** argv)
{
    cli::open_standard_descriptors();
    if (argc == 2 && cli::asks_for_help(argv[1])) {
        print_usage(std::cout);
        return EXIT_SUCCESS;
    }
    if (argc == 2 && cli::asks_for_version(argv[1])) {
        cli::write_version(std::cout, "datlow");
        return EXIT_SUCCESS;
    }
    // The fifth argument, the seed, may be left out.
    constexpr int argument_count = 5;
    if ((argc != argument_count && argc != argument_count + 1) || std::string_view(argv[1]).substr(0, 2) != "-e" ||
        std::string_view(argv[2]).substr(0, 2) != "-d") {
        exit_usage();
    }
    char const type = argv[1][letter_position];
    char const dist = argv[2][letter_position];
    char const* const name = argv[4];
    std::optional<std::uint64_t> const size = cli::parse_count(argv[3], largest_size);
    if (!size) {
        exit_usage_of_size();
    }
    std::optional<std::uint64_t> const seed =
        argc == argument_count ? fresh_seed() : cli::parse_count(argv[argument_count], largest_seed);
    if (!seed) {
        exit_usage_of_seed();
    }
    try {
        switch (type) {
        case 'i': datlow<int>(name, *size, dist, static_cast<std::uint32_t>(*seed)); break;
        case 'p': datlow<element>(name, *size, dist, static_cast<std::uint32_t>(*seed)); break;
        case 'r': datlow<record>(name, *size, dist, static_cast<std::uint32_t>(*seed)); break;
        default: exit_usage();
        }
    } catch (auto_array::mapping_error const& e) {
        auto_array::report_mapping_failure(name, e.what());
        return EXIT_FAILURE;
    } catch (std::exception const& e) {
        std::cerr << "Exception in datlow: " << e.what() << std::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

// datlow: writes a file of sort items (int, element or record) laid out by one of several input
// distributions, through a mapping of the file.

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <string_view>

#include "auto_array/aarray.hpp"
#include "gen/distribution_letters.hpp"
#include "items/element.hpp"
#include "items/record.hpp"

namespace {

// Create the file if missing, map it writable, read it front to back.
constexpr int output_flags = auto_array::flag::create | auto_array::flag::writable | auto_array::flag::sequential;

// Where the two leading characters of an argument are followed by its letter.
constexpr int letter_position = 2;

[[noreturn]] void exit_usage()
{
    std::cerr << "datlow -e{i|p|r} -d{u|m|M|d|D|e|t|k} size name" << std::endl;
    std::cerr << std::endl;
    std::cerr << "  u: uniform distribution" << std::endl;
    std::cerr << "  m: almost sorted; missing merge-phase; log(size) runs" << std::endl;
    std::cerr << "  M: almost sorted; missing merge-phase; sqrt(size) runs" << std::endl;
    std::cerr << "  d: almost sorted; distributed; log(size) sized bucket" << std::endl;
    std::cerr << "  D: almost sorted; distributed; sqrt(size) sized  bucket" << std::endl;
    std::cerr << "  e: few distinct; log(size) distinct elements" << std::endl;
    std::cerr << "  E: few distinct; sqrt(size) distinct elements" << std::endl;
    std::cerr << "  t: unbalanced" << std::endl;
    std::cerr << "  k: partition killer" << std::endl;
    std::exit(EXIT_FAILURE);
}

// Creates or opens the file name and fills it with size items in distribution dist; a size of
// 0 refills every whole item the file already holds.
template <typename T>
void datlow(char const* name, unsigned long size, char dist)
{
    auto_array::map_array<T> items(name, output_flags, size, 0);
    unsigned long const n = items.Count();
    T* const first = items.Data();
    T* const last = first + n;

    if (dist != gen::letter::killer) {
        srand48(time(nullptr));
    }
    // Uniform counts with size, so a size of 0 writes nothing into the mapped file; the other
    // distributions refill every whole item it holds.
    T* const fill_last = dist == gen::letter::uniform ? first + std::min(size, n) : last;
    gen::fill_distribution<T>(dist, first, fill_last, gen::seeding::from_clock);
}

}  // namespace

int main(int argc, char** argv)
{
    constexpr int argument_count = 5;
    if (argc != argument_count || std::string_view(argv[1]).substr(0, 2) != "-e" ||
        std::string_view(argv[2]).substr(0, 2) != "-d") {
        exit_usage();
    }
    char const type = argv[1][letter_position];
    char const dist = argv[2][letter_position];
    char const* const name = argv[4];
    // atoi's int widens with its sign: a negative size becomes a count no file can hold.
    unsigned long const size = static_cast<unsigned long>(static_cast<long>(std::atoi(argv[3])));
    try {
        switch (type) {
        case 'i': datlow<int>(name, size, dist); break;
        case 'p': datlow<element>(name, size, dist); break;
        case 'r': datlow<record>(name, size, dist); break;
        default: exit_usage();
        }
    } catch (std::exception const& e) {
        std::cerr << "Exception in datlow: " << e.what() << std::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

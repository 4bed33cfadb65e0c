// pemmock: claims the given number of megabytes and writes every 32-bit word of it once, so
// that the whole amount is really occupied until the process ends. With --hold it keeps the
// memory after the fill until SIGINT or SIGTERM comes, so that it squeezes whatever runs beside it.

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <string_view>

#include <signal.h>
#include <unistd.h>

#include "cli/count_argument.hpp"
#include "cli/standard_flags.hpp"
#include "cli/out_of_memory.hpp"

namespace {

// The byte count is a 32-bit value: sizes from 4096 MB on do not fit, and a size of 0 leaves no
// room for the two seed words and the final read.
constexpr int largest_size_in_mb = 4095;

constexpr char const* usage = "pemmock RAM_size_in_MB";

[[noreturn]] void exit_usage()
{
    std::cerr << usage << std::endl;
    std::exit(1);
}

// A size argument that is no number of megabytes the filler can claim: the usage, then the range.
[[noreturn]] void exit_size_out_of_range()
{
    std::cerr << usage << std::endl;
    std::cerr << "RAM_size_in_MB must be a whole number from 1 to " << largest_size_in_mb << " MB" << std::endl;
    std::exit(1);
}

// buf[i] = 2 * buf[i - 2] - buf[i - 1] in wrapping 32-bit arithmetic, so every value depends on
// the two written before it and no write can be left out. Unrolled four times after a lead-in
// that takes the remainder.
void fill(std::uint32_t* buf, std::uint32_t words)
{
    std::uint32_t i = 2;
    for (std::uint32_t lead_in = (words - 2) % 4; lead_in != 0; --lead_in, ++i) {
        buf[i] = 2 * buf[i - 2] - buf[i - 1];
    }
    for (; i != words; i += 4) {
        buf[i] = 2 * buf[i - 2] - buf[i - 1];
        buf[i + 1] = 2 * buf[i - 1] - buf[i];
        buf[i + 2] = 2 * buf[i] - buf[i + 1];
        buf[i + 3] = 2 * buf[i + 1] - buf[i + 2];
    }
}

// The signals that end a hold. They end it at once, during the fill too, with status 0: holding
// memory until told to stop is the whole job, so being stopped is success.
void end_hold(int) { _exit(0); }

void hold_until_stopped()
{
    struct sigaction action {};
    action.sa_handler = end_hold;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && cli::asks_for_help(argv[1])) {
        std::cout << usage << std::endl;
        return EXIT_SUCCESS;
    }
    if (argc == 2 && cli::asks_for_version(argv[1])) {
        cli::write_version(std::cout, "pemmock");
        return EXIT_SUCCESS;
    }
    bool const hold = argc == 3 && std::string_view(argv[1]) == "--hold";
    if (argc != 2 && !hold) {
        exit_usage();
    }
    if (hold) {
        hold_until_stopped();
    }
    std::optional<std::uint64_t> const size = cli::parse_count(argv[hold ? 2 : 1], largest_size_in_mb);
    if (!size || *size == 0) {
        exit_size_out_of_range();
    }
    std::uint32_t const bytes = static_cast<std::uint32_t>(*size) << 20;
    std::uint32_t const words = bytes >> 2;

    // Words are kept unsigned so that the recurrence wraps without overflow; they are the
    // program's 32-bit signed integers bit for bit. The block is never freed, as it must stay
    // occupied until the process ends; static storage keeps it in reach, so that a leak checker
    // does not report it.
    // Memory that cannot be had ends the program with a message and status 1, not an abort.
    static std::uint32_t* const buf = new (std::nothrow) std::uint32_t[words];
    if (buf == nullptr) {
        std::cerr << "pemmock: " << cli::not_enough_memory(*size, "MB") << std::endl;
        return 1;
    }
    buf[0] = static_cast<std::uint32_t>(std::rand());
    buf[1] = static_cast<std::uint32_t>(std::rand());
    fill(buf, words);
    if (hold) {
        // One line once the memory is occupied, so that a script knows when to start its run.
        std::cerr << "pemmock: holding " << *size << " MB until SIGINT or SIGTERM" << std::endl;
        for (;;) {
            pause();
        }
    }

    std::uint32_t const r = static_cast<std::uint32_t>(std::rand());
    std::uint32_t const j = (r % bytes) / 4;
    return static_cast<int>(buf[words - 1] - buf[j]);
}

#include "bench/confined_run.hpp"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous_actions[std::size(stop_signals)];

// The stop signal that came, or 0; set by the handler, read by the waiting parent.
volatile std::sig_atomic_t stop_signal = 0;

void note_stop(int signal) { stop_signal = signal; }

// The result travels as a flat record: the numbers, then the two texts with their lengths.
struct flat_result {
    bool measured;
    bool counts_read;
    double seconds;
    miss_counter::values counts;
    std::int64_t l1_misses;
    data_movement moved;
    std::uint64_t check_length;
    std::uint64_t error_length;
};

bool write_all(int fd, void const* data, std::size_t bytes)
{
    auto const* p = static_cast<char const*>(data);
    while (bytes > 0) {
        ssize_t const written = write(fd, p, bytes);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        p += written;
        bytes -= static_cast<std::size_t>(written);
    }
    return true;
}

void send_result(int fd, run_result const& result)
{
    flat_result const flat{result.measured, result.counts_read, result.seconds,      result.counts,
                           result.l1_misses, result.moved,      result.check.size(), result.error.size()};
    write_all(fd, &flat, sizeof flat) && write_all(fd, result.check.data(), result.check.size()) &&
        write_all(fd, result.error.data(), result.error.size());
}

run_result received_result(std::string const& bytes)
{
    run_result result;
    flat_result flat{};
    if (bytes.size() < sizeof flat) return result;
    std::memcpy(&flat, bytes.data(), sizeof flat);
    if (bytes.size() != sizeof flat + flat.check_length + flat.error_length) return result;
    result.measured = flat.measured;
    result.counts_read = flat.counts_read;
    result.seconds = flat.seconds;
    result.counts = flat.counts;
    result.l1_misses = flat.l1_misses;
    result.moved = flat.moved;
    result.check = bytes.substr(sizeof flat, flat.check_length);
    result.error = bytes.substr(sizeof flat + flat.check_length, flat.error_length);
    return result;
}

std::string death_text(int status)
{
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    char const* const name = strsignal(WTERMSIG(status));
    return "killed by signal " + std::to_string(WTERMSIG(status)) + (name != nullptr ? std::string(" (") + name + ")" : "");
}

pid_t running_child = -1;

}  // namespace

confined_runs::confined_runs(memory_cgroup& group, std::string limit_text)
    : group_(group), limit_text_(std::move(limit_text))
{
    struct sigaction action {};
    action.sa_handler = note_stop;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) {
        sigaction(stop_signals[i], &action, &previous_actions[i]);
    }
}

confined_runs::~confined_runs()
{
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) sigaction(stop_signals[i], &previous_actions[i], nullptr);
    group_.remove();
}

void confined_runs::stop_now(int signal)
{
    if (running_child > 0) {
        kill(running_child, SIGKILL);
        waitpid(running_child, nullptr, 0);
        running_child = -1;
    }
    group_.remove();
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) sigaction(stop_signals[i], &previous_actions[i], nullptr);
    raise(signal);
    // A signal its caller ignores or handles without ending the process: end it here.
    _exit(128 + signal);
}

run_result confined_runs::run(std::function<run_result()> const& run)
{
    if (stop_signal != 0) stop_now(stop_signal);
    run_result failed;
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        failed.error = std::string("no pipe to a confined run: ") + std::strerror(errno);
        return failed;
    }
    std::uint64_t const kills_before = group_.limit_kills();
    pid_t const child = fork();
    if (child < 0) {
        failed.error = std::string("no child process for a confined run: ") + std::strerror(errno);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return failed;
    }
    if (child == 0) {
        close(pipe_fds[0]);
        for (std::size_t i = 0; i < std::size(stop_signals); ++i) sigaction(stop_signals[i], &previous_actions[i], nullptr);
        run_result result;
        if (group_.enter()) {
            result = run();
        } else {
            result.error = "the run cannot enter cgroup " + group_.path() + ": " + std::strerror(errno);
        }
        send_result(pipe_fds[1], result);
        _exit(0);
    }
    running_child = child;
    close(pipe_fds[1]);
    std::string bytes;
    for (;;) {
        if (stop_signal != 0) stop_now(stop_signal);
        pollfd ready{pipe_fds[0], POLLIN, 0};
        // A signal cuts the wait short; the timeout covers one that comes just before it.
        if (poll(&ready, 1, 200) <= 0) continue;
        char buffer[4096];
        ssize_t const got = read(pipe_fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipe_fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        if (stop_signal != 0) stop_now(stop_signal);
    }
    running_child = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return received_result(bytes);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && group_.limit_kills() > kills_before) {
        failed.error = "killed by the memory limit (" + limit_text_ + ")";
    } else {
        failed.error = "the confined run ended early (" + death_text(status) + ")";
    }
    return failed;
}

#include "bench/confined_run.hpp"
#include "bench/stop_signals.hpp"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
    return killed_by_signal(WTERMSIG(status));
}

}  // namespace

confined_runs::confined_runs(memory_cgroup& group, std::string limit_text)
    : group_(group), limit_text_(std::move(limit_text))
{
}

confined_runs::~confined_runs() { group_.remove(); }

run_result confined_runs::run(std::function<run_result()> const& run)
{
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
        release_stop_signals();
        run_result result;
        if (group_.enter()) {
            result = run();
        } else {
            result.error = "the run cannot enter cgroup " + group_.path() + ": " + std::strerror(errno);
        }
        send_result(pipe_fds[1], result);
        _exit(0);
    }
    close(pipe_fds[1]);
    std::string bytes;
    for (;;) {
        if (stop_signal() != 0) {
            // The experiment stops: the child goes now, the cgroup with the experiment.
            stop_child(child);
            close(pipe_fds[0]);
            failed.error = interrupted_error;
            return failed;
        }
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
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return received_result(bytes);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && group_.limit_kills() > kills_before) {
        failed.error = "killed by the memory limit (" + limit_text_ + ")";
    } else {
        failed.error = "the confined run ended early (" + death_text(status) + ")";
    }
    return failed;
}

#include "bench/stop_signals.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <sys/wait.h>

namespace {

int const stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous_actions[std::size(stop_signals)];

volatile std::sig_atomic_t caught = 0;

extern "C" void note_stop(int signal) { caught = signal; }

}  // namespace

void catch_stop_signals()
{
    struct sigaction action {};
    action.sa_handler = note_stop;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) {
        sigaction(stop_signals[i], nullptr, &previous_actions[i]);
        if (previous_actions[i].sa_handler != SIG_IGN) sigaction(stop_signals[i], &action, nullptr);
    }
}

void release_stop_signals()
{
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) sigaction(stop_signals[i], &previous_actions[i], nullptr);
}

int stop_signal() { return caught; }

void end_by_signal(int signal)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    // Not reached for the stop signals, whose default action ends the process.
    std::_Exit(128 + signal);
}

void stop_child(pid_t child)
{
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

std::string killed_by_signal(int signal)
{
    char const* const name = strsignal(signal);
    return "killed by signal " + std::to_string(signal) + (name != nullptr ? std::string(" (") + name + ")" : "");
}

#include "bench/stop_signals.hpp"

#include <csignal>
#include <cstdlib>

namespace {

int const stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t caught = 0;

extern "C" void note_stop(int signal) { caught = signal; }

}  // namespace

void catch_stop_signals()
{
    struct sigaction action {};
    action.sa_handler = note_stop;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int const signal : stop_signals) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
    }
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

#pragma once
// The stop signals of an experiment: SIGINT, SIGTERM and SIGHUP. The handler only notes which
// came. The experiment looks between its runs and closes the report; the waits for a simulated
// run's valgrind child and for a confined run's child look every few milliseconds and kill and
// reap the child; then the program ends by the same signal. A sort that has begun in corvane
// itself finishes first.

#include <string>

#include <sys/types.h>

// The error of a run that a stop signal cut short.
constexpr char const interrupted_error[] = "interrupted";

// Takes the stop signals over, leaving alone those the process was started to ignore (a
// background job of a shell ignores SIGINT). Interrupted system calls are restarted, so that the
// report's writes go on.
void catch_stop_signals();

// Gives the stop signals back the actions they had before catch_stop_signals: for a child process
// that must end by them.
void release_stop_signals();

// The stop signal that came, 0 while none did.
int stop_signal();

// Ends the process by signal as if it had never been caught: its default action, so that the
// caller sees the signal itself (a shell's status 128 + the signal's number).
[[noreturn]] void end_by_signal(int signal);

// Kills a child process at a stop and reaps it, so that nothing of it outlives the experiment.
void stop_child(pid_t child);

// How a child that a signal ended is named in a run's error: "killed by signal 9 (Killed)".
std::string killed_by_signal(int signal);

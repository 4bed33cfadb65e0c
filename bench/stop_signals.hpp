#pragma once
// The stop signals of an experiment: SIGINT, SIGTERM and SIGHUP. The handler only notes which
// came. The experiment looks between its runs and closes the report, the wait for a simulated
// run's child looks every few milliseconds and kills and reaps the child; then the program ends
// by the same signal. A sort that has begun finishes first.

// Takes the stop signals over, leaving alone those the process was started to ignore (a
// background job of a shell ignores SIGINT). Interrupted system calls are restarted, so that the
// report's writes go on.
void catch_stop_signals();

// The stop signal that came, 0 while none did.
int stop_signal();

// Ends the process by signal as if it had never been caught: its default action, so that the
// caller sees the signal itself (a shell's status 128 + the signal's number).
[[noreturn]] void end_by_signal(int signal);

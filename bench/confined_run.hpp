#pragma once
// A run in a child process confined to the experiment's memory cgroup: the child enters the
// cgroup, makes its input there, sorts and checks, and hands its result back through a pipe. A
// child the kernel kills for reaching the limit gives a failed result that says so, and the
// experiment goes on. SIGINT, SIGTERM and SIGHUP to corvane while confined runs go on kill the
// child and remove the cgroup before the signal takes its usual course.

#include <functional>
#include <string>

#include "bench/experiment_run.hpp"
#include "bench/memory_cgroup.hpp"

class confined_runs {
public:
    // limit_text is the limit as given ("256M"), for the failure of a killed run. Takes over the
    // stop signals until destroyed.
    confined_runs(memory_cgroup& group, std::string limit_text);
    ~confined_runs();
    confined_runs(confined_runs const&) = delete;
    confined_runs& operator=(confined_runs const&) = delete;

    // Runs run() in a child process in the cgroup and returns its result.
    run_result run(std::function<run_result()> const& run);

private:
    // Kills the child (if any), removes the cgroup, gives the stop signals their old actions back
    // and raises the signal that came.
    [[noreturn]] void stop_now(int signal);

    memory_cgroup& group_;
    std::string limit_text_;
};

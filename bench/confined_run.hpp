#pragma once
// A run in a child process confined to the experiment's memory cgroup: the child enters the
// cgroup, makes its input there, sorts and checks, and hands its result back through a pipe. A
// child the kernel kills for reaching the limit gives a failed result that says so, and the
// experiment goes on. A stop signal (stop_signals.hpp) while a confined run goes on kills and
// reaps the child, and the run comes back "interrupted"; the cgroup goes with the experiment.

#include <functional>
#include <string>

#include "bench/experiment_run.hpp"
#include "bench/memory_cgroup.hpp"

class confined_runs {
public:
    // limit_text is the limit as given ("256M"), for the failure of a killed run.
    confined_runs(memory_cgroup& group, std::string limit_text);
    ~confined_runs();
    confined_runs(confined_runs const&) = delete;
    confined_runs& operator=(confined_runs const&) = delete;

    // Runs run() in a child process in the cgroup and returns its result.
    run_result run(std::function<run_result()> const& run);

private:
    memory_cgroup& group_;
    std::string limit_text_;
};

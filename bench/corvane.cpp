// corvane: the benchmark. Without arguments it writes its fixed XML report on standard output;
// with options it runs an experiment (experiment_options.hpp). Before main runs, start-up has
// filled the system description and initialised the counter library (or ended the program with
// a failure status, having written nothing).

#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "bench/benchmark.hpp"
#include "bench/experiment.hpp"
#include "bench/experiment_options.hpp"
#include "measure/counter_library.hpp"
#include "measure/sys_names.hpp"

namespace {

constexpr int usage_status = 2;

}  // namespace

int main(int argc, char** argv)
{
    // The report's date is the moment the benchmark started, taken before anything is written.
    local_time const started(std::time(nullptr));
    if (argc <= 1) {
        write_benchmark(std::cout, started, benchmark_sizes());
        return 0;
    }

    std::vector<std::string> const args(argv + 1, argv + argc);
    if (args.size() == 1 && args.front() == "--help") {
        write_usage(std::cout);
        return 0;
    }
    experiment_options options;
    try {
        options = parse_options(args, physical_memory_bytes());
    } catch (usage_error const& e) {
        std::cerr << "corvane: " << e.what() << std::endl;
        write_usage(std::cerr);
        return usage_status;
    }
    run_experiment(options, std::cout, std::cerr, started, active_counter_library());
    return 0;
}

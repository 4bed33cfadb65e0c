// corvane: the benchmark. Takes no arguments and writes one XML report on standard output.
// Before main runs, start-up has filled the system description and initialised the counter
// library (or ended the program with a failure status, having written nothing).

#include <ctime>
#include <iostream>

#include "bench/benchmark.hpp"
#include "measure/sys_names.hpp"

int main()
{
    // The report's date is the moment the benchmark started, taken before anything is written.
    local_time const started(std::time(nullptr));
    write_benchmark(std::cout, started, benchmark_sizes());
    return 0;
}

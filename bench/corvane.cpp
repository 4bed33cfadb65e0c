// corvane: the benchmark. Without arguments it writes its fixed XML report on standard output;
// with options it runs an experiment (experiment_options.hpp). The counter library is PAPI.

#include <iostream>
#include <string>
#include <vector>

#include "bench/corvane_main.hpp"
#include "measure/papi_library.hpp"

int main(int argc, char** argv)
{
    return corvane_main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, papi_counter_library());
}

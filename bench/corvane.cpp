// corvane: the benchmark. Without arguments it writes its fixed XML report on standard output;
// with options it runs an experiment (experiment_options.hpp). The counter library is PAPI.

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/corvane_main.hpp"
#include "bench/report_output.hpp"
#include "bench/stop_signals.hpp"
#include "measure/papi_library.hpp"

int main(int argc, char** argv)
{
    // A file size limit must fail the write, which the report sees and names, rather than end
    // the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    report_output_buffer buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    int const status = corvane_main(std::vector<std::string>(argv + 1, argv + argc), out, std::cerr, papi_counter_library());
    // The report is closed and flushed: the stop signal may end the program now.
    if (stop_signal() != 0) end_by_signal(stop_signal());
    return status;
}

#pragma once
// The benchmark program behind main. Without arguments: the fixed report, which needs the
// counter library and stops before its first line if the library cannot start. With -h or --help
// anywhere: the usage; with --version, the version. Otherwise an experiment, which runs with whatever counters there are.
// A report that could not be written completely ends in a failure status. An experiment stopped by
// SIGINT, SIGTERM or SIGHUP closes its report and returns 128 + the signal's number; the caller
// then ends by the signal itself (stop_signals.hpp).

#include <ostream>
#include <string>
#include <vector>

#include "measure/counter_library.hpp"

// args without the program name; lib is initialised here, once. Returns the exit status.
int corvane_main(std::vector<std::string> const& args, std::ostream& out, std::ostream& err,
                 counter_library const& lib);

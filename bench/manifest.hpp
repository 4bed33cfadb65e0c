#pragma once
// The manifest of an experiment's report: where its numbers come from. The machine (processor,
// caches, cores, kernel), the build (compiler, build type and flags, the project's version and
// commit) and the experiment's settings (counters, cache geometry, date, seed), as key and value
// texts in a fixed order; each report form writes them its own way.

#include <string>
#include <utility>
#include <vector>

#include "bench/experiment_report.hpp"

using manifest = std::vector<std::pair<std::string, std::string>>;

manifest experiment_manifest(experiment_head const& head);

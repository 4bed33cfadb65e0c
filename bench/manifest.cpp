#include "bench/manifest.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "bench/cache_sweep.hpp"
#include "cli/build_info.hpp"

namespace {

// The first "model name" of /proc/cpuinfo, or "unknown".
std::string processor_model()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        std::size_t const colon = line.find(':');
        if (colon == std::string::npos) break;
        std::size_t const start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? "unknown" : line.substr(start);
    }
    return "unknown";
}

// A cache as size/ways/line in bytes from the C library's description of this processor (which
// asks the processor itself, so a virtual machine without /sys/devices/system/cpu/cpu0/cache
// still tells); empty where it does not say.
std::string cache_text(char const* name, int size_key, int ways_key, int line_key)
{
    long const size = sysconf(size_key);
    if (size <= 0) return "";
    return std::string(name) + ' ' + std::to_string(size) + '/' + std::to_string(std::max(0L, sysconf(ways_key))) + '/' +
           std::to_string(std::max(0L, sysconf(line_key)));
}

std::string caches()
{
    std::string text;
    for (std::string const& cache :
         {cache_text("L1d", _SC_LEVEL1_DCACHE_SIZE, _SC_LEVEL1_DCACHE_ASSOC, _SC_LEVEL1_DCACHE_LINESIZE),
          cache_text("L1i", _SC_LEVEL1_ICACHE_SIZE, _SC_LEVEL1_ICACHE_ASSOC, _SC_LEVEL1_ICACHE_LINESIZE),
          cache_text("L2", _SC_LEVEL2_CACHE_SIZE, _SC_LEVEL2_CACHE_ASSOC, _SC_LEVEL2_CACHE_LINESIZE),
          cache_text("L3", _SC_LEVEL3_CACHE_SIZE, _SC_LEVEL3_CACHE_ASSOC, _SC_LEVEL3_CACHE_LINESIZE)}) {
        if (cache.empty()) continue;
        if (!text.empty()) text += ", ";
        text += cache;
    }
    return text.empty() ? "unknown" : text + " (size/ways/line in bytes)";
}

}  // namespace

manifest experiment_manifest(experiment_head const& head)
{
    std::ostringstream date;
    date << head.started;
    std::string counters = counter_mode_name(head.counters.mode);
    counters += ": " + counter_status(head.counters);
    manifest m = {
        {"processor", processor_model()},
        {"caches", caches()},
        {"cores", std::to_string(sysconf(_SC_NPROCESSORS_ONLN))},
        {"kernel", std::string(sys_names::os()) + ' ' + sys_names::release()},
        {"compiler", sys_names::compiler()},
        {"build_type", kit::build_type()},
        {"build_flags", kit::build_flags()},
        {"version", kit::version()},
        {"commit", kit::commit()},
        {"counters", counters},
    };
    if (head.counters.mode == counter_mode::simulated) {
        m.emplace_back("cache_geometry", "simulated " + simulated_caches_text(head.simulation) + " (size/ways/line in bytes)");
    } else {
        m.emplace_back("cache_geometry", "this machine's");
    }
    m.emplace_back("date", date.str());
    m.emplace_back("seed", std::to_string(head.seed));
    return m;
}

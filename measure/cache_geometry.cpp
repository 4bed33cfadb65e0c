#include "measure/cache_geometry.hpp"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// The simulator's smallest line: it must hold the widest register valgrind models (32-byte AVX
// registers on x86-64), so that one access never straddles three lines.
constexpr std::uint64_t smallest_line = 32;

// The simulator keeps a cache's size in a 32-bit signed count: 2 GiB and more overflow it.
constexpr std::uint64_t largest_cache = (std::uint64_t{1} << 31) - 1;

bool is_power_of_two(std::uint64_t x) { return x != 0 && (x & (x - 1)) == 0; }

std::string first_line(std::string const& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A decimal number with an optional K, M or G suffix (binary multiples), as /sys writes sizes;
// 0 for anything else.
std::uint64_t sys_number(std::string const& text)
{
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > (std::uint64_t{1} << 40)) return 0;
    }
    if (i == 0) return 0;
    std::string const suffix = text.substr(i);
    if (suffix.empty()) return value;
    if (suffix == "K") return value << 10;
    if (suffix == "M") return value << 20;
    if (suffix == "G") return value << 30;
    return 0;
}

}  // namespace

cache_geometry machine_cache(std::string const& cache_dir, std::uint32_t level)
{
    std::vector<std::string> entries;
    if (DIR* const dir = opendir(cache_dir.c_str())) {
        while (dirent const* const entry = readdir(dir)) {
            std::string const name = entry->d_name;
            if (name.rfind("index", 0) == 0) entries.push_back(cache_dir + "/" + name);
        }
        closedir(dir);
    }
    for (std::string const& index : entries) {
        std::string const type = first_line(index + "/type");
        if (sys_number(first_line(index + "/level")) != level || (type != "Data" && type != "Unified")) continue;
        cache_geometry cache;
        cache.size = sys_number(first_line(index + "/size"));
        cache.ways = sys_number(first_line(index + "/ways_of_associativity"));
        cache.line = sys_number(first_line(index + "/coherency_line_size"));
        if (cache.size == 0 || cache.ways == 0 || cache.line == 0) return cache_geometry{};
        return cache;
    }
    return cache_geometry{};
}

cache_geometry processor_cache(std::uint32_t level)
{
    if (level != 1 && level != 2) return cache_geometry{};
    int const size_name = level == 1 ? _SC_LEVEL1_DCACHE_SIZE : _SC_LEVEL2_CACHE_SIZE;
    int const ways_name = level == 1 ? _SC_LEVEL1_DCACHE_ASSOC : _SC_LEVEL2_CACHE_ASSOC;
    int const line_name = level == 1 ? _SC_LEVEL1_DCACHE_LINESIZE : _SC_LEVEL2_CACHE_LINESIZE;
    long const size = sysconf(size_name);
    long const ways = sysconf(ways_name);
    long const line = sysconf(line_name);
    // sysconf answers 0 or -1 for what it does not know.
    if (size <= 0 || ways <= 0 || line <= 0) return cache_geometry{};
    return cache_geometry{static_cast<std::uint64_t>(size), static_cast<std::uint64_t>(ways),
                          static_cast<std::uint64_t>(line)};
}

std::string geometry_problem(cache_geometry const& cache)
{
    if (cache.size == 0 || cache.ways == 0 || cache.line == 0) return "size, ways and line must all be positive";
    if (!is_power_of_two(cache.line)) return "the line size " + std::to_string(cache.line) + " is not a power of two";
    if (cache.line < smallest_line) {
        return "the line size " + std::to_string(cache.line) + " is below " + std::to_string(smallest_line) + " bytes";
    }
    if (cache.size <= cache.line) return "the cache must hold more than one line";
    if (cache.size > largest_cache) return "the simulator takes caches below 2 GiB only";
    if (cache.ways > cache.size / cache.line) {
        return std::to_string(cache.ways) + " ways are more than the cache's " + std::to_string(cache.size / cache.line) +
               " lines";
    }
    std::uint64_t const set_bytes = cache.ways * cache.line;
    if (cache.size % set_bytes != 0 || !is_power_of_two(cache.size / set_bytes)) {
        return "the set count (size / (ways * line)) is not a whole power of two";
    }
    return "";
}

std::string geometry_text(cache_geometry const& cache, char separator)
{
    return std::to_string(cache.size) + separator + std::to_string(cache.ways) + separator + std::to_string(cache.line);
}

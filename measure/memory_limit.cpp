#include "measure/memory_limit.hpp"

#include <fstream>
#include <sstream>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Version 1 writes its largest count of pages in bytes when no limit is set: 2^63 - 1 rounded
// down to a page (9223372036854771712 with 4 KiB pages). No machine holds 2^62 bytes.
constexpr std::uint64_t v1_no_limit_from = std::uint64_t{1} << 62;

std::vector<std::string> split(std::string const& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

bool contains(std::vector<std::string> const& items, std::string const& item)
{
    for (std::string const& candidate : items) {
        if (candidate == item) return true;
    }
    return false;
}

// Whether text[at] starts a backslash and three octal digits.
bool octal_escape(std::string const& text, std::size_t at)
{
    if (text[at] != '\\' || at + 3 >= text.size()) return false;
    for (std::size_t i = at + 1; i <= at + 3; ++i) {
        if (text[i] < '0' || text[i] > '7') return false;
    }
    return true;
}

// mountinfo writes a space in a path as \040 (and a tab, line feed and backslash likewise).
std::string unescape(std::string const& path)
{
    std::string plain;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (octal_escape(path, i)) {
            plain += static_cast<char>(std::stoi(path.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            plain += path[i];
        }
    }
    return plain;
}

// The limit in a limit file: a decimal count of bytes. "max", a missing file and anything else
// that is no count mean no limit (0).
std::uint64_t limit_in(std::string const& file)
{
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    std::uint64_t const bytes = std::stoull(text);
    return bytes >= v1_no_limit_from ? 0 : bytes;
}

// A hierarchy the process belongs to: where it is mounted (below root), the cgroup its mount
// shows as its top, and the version of its memory controller.
struct hierarchy {
    std::string mount_point;
    std::string mount_root;
    bool v2;

    char const* limit_file() const { return v2 ? "memory.max" : "memory.limit_in_bytes"; }
};

// Keeps the smaller of two limits, 0 being none.
void keep_smaller(memory_limit& smallest, memory_limit const& candidate)
{
    if (candidate.bytes != 0 && (smallest.bytes == 0 || candidate.bytes < smallest.bytes)) smallest = candidate;
}

// The memory hierarchies mounted on this machine: version 1 mounts with the memory controller,
// and version 2 mounts.
std::vector<hierarchy> memory_hierarchies(std::string const& root)
{
    std::vector<hierarchy> found;
    std::ifstream in(root + "/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
        std::vector<std::string> const fields = split(line, ' ');
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (dash + 3 >= fields.size()) continue;
        std::string const& type = fields[dash + 1];
        if (type == "cgroup2") {
            found.push_back({unescape(fields[4]), unescape(fields[3]), true});
        } else if (type == "cgroup" && contains(split(fields[dash + 3], ','), "memory")) {
            found.push_back({unescape(fields[4]), unescape(fields[3]), false});
        }
    }
    return found;
}

// The folder of the cgroup at path in h, and of each cgroup above it up to the top of the
// mount, each with its limit: the smallest goes to smallest.
void take_smallest(std::string const& root, hierarchy const& h, std::string const& path, memory_limit& smallest)
{
    // The mount shows the hierarchy from mount_root down; a cgroup outside it (a namespace's
    // view) is looked at from the top of the mount.
    std::string below;
    if (h.mount_root == "/") {
        below = path == "/" ? "" : path;
    } else if (path.rfind(h.mount_root, 0) == 0 && (path.size() == h.mount_root.size() || path[h.mount_root.size()] == '/')) {
        below = path.substr(h.mount_root.size());
    }
    std::string const top = root + h.mount_point;
    for (std::string folder = top + below;; folder = folder.substr(0, folder.rfind('/'))) {
        std::string const file = folder + "/" + h.limit_file();
        keep_smaller(smallest, {limit_in(file), file});
        if (folder.size() <= top.size()) break;
    }
}

}  // namespace

bool process_cgroup(std::string const& root, std::string const& controller, std::string& path)
{
    std::ifstream in(root + "/proc/self/cgroup");
    for (std::string line; std::getline(in, line);) {
        // ID:CONTROLLERS:PATH; version 2 is "0::PATH".
        std::size_t const first = line.find(':');
        std::size_t const second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        std::string const controllers = line.substr(first + 1, second - first - 1);
        bool const found = controller.empty() ? line.substr(0, first) == "0" && controllers.empty()
                                              : contains(split(controllers, ','), controller);
        if (found) {
            path = line.substr(second + 1);
            return true;
        }
    }
    return false;
}

memory_limit cgroup_memory_limit(std::string const& root)
{
    memory_limit smallest;
    for (hierarchy const& h : memory_hierarchies(root)) {
        std::string path;
        if (process_cgroup(root, h.v2 ? "" : "memory", path)) take_smallest(root, h, path, smallest);
    }
    return smallest;
}

std::uint64_t physical_memory_bytes()
{
    long const pages = sysconf(_SC_PHYS_PAGES);
    long const page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

memory_limit process_memory_limit()
{
    memory_limit smallest{physical_memory_bytes(), "physical memory"};
    rlimit address_space{};
    if (getrlimit(RLIMIT_AS, &address_space) == 0 && address_space.rlim_cur != RLIM_INFINITY) {
        keep_smaller(smallest, {static_cast<std::uint64_t>(address_space.rlim_cur), "RLIMIT_AS (ulimit -v)"});
    }
    keep_smaller(smallest, cgroup_memory_limit(""));
    return smallest;
}

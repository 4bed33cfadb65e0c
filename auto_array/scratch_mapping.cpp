#include "auto_array/scratch_mapping.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <iterator>
#include <cstdlib>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "auto_array/map_flags.hpp"

namespace auto_array {

namespace {

constexpr mode_t scratch_permissions = 0600;

std::uintptr_t page_size() { return static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)); }

// The whole pages that hold [first, first + bytes).
struct page_range {
    void* start;
    std::size_t length;
};

page_range pages_of(void const* first, std::uint64_t bytes)
{
    std::uintptr_t const page = page_size();
    auto const begin = reinterpret_cast<std::uintptr_t>(first) / page * page;
    auto const end = (reinterpret_cast<std::uintptr_t>(first) + bytes + page - 1) / page * page;
    return {reinterpret_cast<void*>(begin), static_cast<std::size_t>(end - begin)};
}

// "1.5 GiB", "12.0 MiB": sizes for messages.
std::string size_text(std::uint64_t bytes)
{
    char const* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    if (unit == 0) return std::to_string(bytes) + " bytes";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

// A nameless file in folder: O_TMPFILE, else a named one removed at once.
int open_scratch_file(std::string const& folder)
{
    int const fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, scratch_permissions);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) return fd;
    std::string name = folder + "/corvane-scratch-XXXXXX";
    int const named = mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) unlink(name.c_str());
    return named;
}

}  // namespace

std::string scratch_folder_problem(std::string const& folder, std::uint64_t bytes)
{
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0) return "'" + folder + "' does not exist";
    if (!S_ISDIR(status.st_mode)) return "'" + folder + "' is not a folder";
    if (access(folder.c_str(), W_OK | X_OK) != 0) return "'" + folder + "' is not writable";
    struct statfs system {};
    if (statfs(folder.c_str(), &system) == 0 && (system.f_type == TMPFS_MAGIC || system.f_type == RAMFS_MAGIC)) {
        return "'" + folder + "' lies in memory (tmpfs), which cannot give pages back without swap; give a folder on disk";
    }
    struct statvfs space {};
    if (statvfs(folder.c_str(), &space) != 0) return "the free space of '" + folder + "' cannot be read";
    std::uint64_t const free_bytes = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    if (free_bytes < bytes) {
        return "'" + folder + "' has " + size_text(free_bytes) + " free, the runs need " + size_text(bytes) + " (" +
               std::to_string(bytes) + " bytes)";
    }
    return {};
}

scratch_mapping::scratch_mapping(std::string const& folder, std::uint64_t bytes) : bytes_(bytes)
{
    fd_ = open_scratch_file(folder);
    if (fd_ < 0) throw mapping_error("a scratch file in '" + folder + "' cannot be made: " + detail::error_text(errno));
    try {
        mapping_ = detail::map_descriptor(fd_, static_cast<unsigned long>(bytes), 0, flag::readable | flag::writable);
    } catch (mapping_error const& e) {
        close(fd_);
        throw mapping_error("a scratch file of " + size_text(bytes) + " in '" + folder + "' cannot be mapped: " + e.what());
    }
}

scratch_mapping::~scratch_mapping()
{
    detail::unmap_file(mapping_, false);
    close(fd_);
}

void scratch_mapping::write_back_and_drop()
{
    write_back(mapping_.base, mapping_.length);
    // Mapped pages stay in the page cache whatever the file advice says: unmap them from this
    // process first.
    madvise(mapping_.base, mapping_.length, MADV_DONTNEED);
    posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
}

void write_back(void const* first, std::uint64_t bytes)
{
    page_range const pages = pages_of(first, bytes);
    msync(pages.start, pages.length, MS_SYNC);
}

void advise_random_access(void const* first, std::uint64_t bytes)
{
    page_range const pages = pages_of(first, bytes);
    madvise(pages.start, pages.length, MADV_RANDOM);
}

void advise_will_need(void const* first, std::uint64_t bytes)
{
    page_range const pages = pages_of(first, bytes);
    madvise(pages.start, pages.length, MADV_WILLNEED);
}

}  // namespace auto_array

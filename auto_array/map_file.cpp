#include "auto_array/map_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "auto_array/map_flags.hpp"

namespace auto_array {

void report_mapping_failure(char const* name, std::string const& reason)
{
    std::cerr << "Fatal error: unable to create mapping of file '" << name << "'!" << std::endl;
    std::cerr << reason << std::endl;
}

}  // namespace auto_array

namespace auto_array::detail {

namespace {

constexpr mode_t new_file_permissions = 0666;

// The file as the open step left it, with what is needed to undo that step.
struct opened_file {
    int fd = -1;
    bool created = false;      // this call made the file
    off_t original_size = 0;   // its length before this call
};

// Undoes what was done to the file, then reports and ends the process.
[[noreturn]] void give_up(char const* name, opened_file const& file, std::string const& reason)
{
    if (file.created) {
        unlink(name);
    } else {
        struct stat now;
        if (fstat(file.fd, &now) == 0 && now.st_size > file.original_size) {
            if (ftruncate(file.fd, file.original_size) != 0) {
                std::cerr << "Could not restore the length of file '" << name << "'" << std::endl;
            }
        }
    }
    close(file.fd);
    fail_mapping(name, reason);
}

// Opens read-write; with create the file is made if missing, and an exclusive create first
// tells whether this call made it.
bool open_file(char const* name, int flags, opened_file& file)
{
    int const access = O_RDWR | O_LARGEFILE | O_CLOEXEC;
    if (flag::creates(flags)) {
        file.fd = open(name, access | O_CREAT | O_EXCL, new_file_permissions);
        if (file.fd >= 0) {
            file.created = true;
        } else if (errno == EEXIST) {
            file.fd = open(name, access);
        }
    } else {
        file.fd = open(name, access);
    }
    if (file.fd < 0) {
        return false;
    }
    struct stat status;
    if (fstat(file.fd, &status) != 0) {
        return false;
    }
    file.original_size = status.st_size;
    return true;
}

// Extends the file to at least offset + length bytes and reserves its blocks; 0 or the error
// number. Going past the file size limit would raise SIGXFSZ, whose default action kills the
// process, so it is ignored for the call and the limit shows up as an error instead.
int reserve(int fd, unsigned long offset, unsigned long length)
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction previous {};
    sigaction(SIGXFSZ, &ignore, &previous);
    int error = 0;
    do {
        error = posix_fallocate(fd, static_cast<off_t>(offset), static_cast<off_t>(length));
    } while (error == EINTR);
    sigaction(SIGXFSZ, &previous, nullptr);
    return error;
}

int protection_of(int flags)
{
    int protection = PROT_NONE;
    if (flags & flag::readable) protection |= PROT_READ;
    if (flags & flag::writable) protection |= PROT_WRITE;
    return protection;
}

}  // namespace

void fail_mapping(char const* name, std::string const& reason)
{
    report_mapping_failure(name, reason);
    std::_Exit(EXIT_FAILURE);
}

std::string error_text(int error) { return std::strerror(error); }

file_mapping map_descriptor(int fd, unsigned long length, unsigned long offset, int flags)
{
    struct stat status;
    if (fstat(fd, &status) != 0) {
        throw mapping_error(error_text(errno));
    }
    // Only a regular file can be sized and mapped; a pipe or device would fail later with a
    // reason that says nothing to the user.
    if (!S_ISREG(status.st_mode)) {
        throw mapping_error(S_ISDIR(status.st_mode) ? error_text(EISDIR) : "not a regular file");
    }
    unsigned long const page = static_cast<unsigned long>(sysconf(_SC_PAGESIZE));
    file_mapping mapping;
    mapping.delta = offset % page;
    unsigned long const aligned = offset - mapping.delta;
    mapping.length = (length + mapping.delta + page - 1) / page * page;

    if (int const error = reserve(fd, offset, length); error != 0) {
        throw mapping_error(error_text(error));
    }
    void* const base = mmap(nullptr, mapping.length, protection_of(flags), MAP_SHARED, fd, static_cast<off_t>(aligned));
    if (base == MAP_FAILED) {
        throw mapping_error(error_text(errno));
    }
    mapping.base = base;
    if (flags & flag::sequential) {
        madvise(base, mapping.length, MADV_SEQUENTIAL);
    }
    return mapping;
}

file_mapping map_file(char const* name, unsigned long length, unsigned long offset, int flags)
{
    opened_file file;
    if (!open_file(name, flags, file)) {
        std::string const reason = error_text(errno);
        if (file.fd >= 0) give_up(name, file, reason);
        fail_mapping(name, reason);
    }
    try {
        file_mapping const mapping = map_descriptor(file.fd, length, offset, flags);
        close(file.fd);
        return mapping;
    } catch (mapping_error const& e) {
        give_up(name, file, e.what());
    }
}

bool file_length(char const* name, unsigned long& length)
{
    struct stat status;
    if (stat(name, &status) != 0) {
        return false;
    }
    length = static_cast<unsigned long>(status.st_size);
    return true;
}

void unmap_file(file_mapping const& mapping, bool drop_pages)
{
    if (drop_pages) {
        madvise(mapping.base, mapping.length, MADV_DONTNEED);
    }
    if (munmap(mapping.base, mapping.length) != 0) {
        std::cerr << "munmap failure!" << std::endl;
    }
}

}  // namespace auto_array::detail

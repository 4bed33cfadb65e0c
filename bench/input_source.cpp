#include "bench/input_source.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "gen/input_patterns.hpp"

struct input_source::open_file {
    int fd = -1;
    std::uint64_t items = 0;

    open_file() = default;
    ~open_file()
    {
        if (fd >= 0) close(fd);
    }
    open_file(open_file const&) = delete;
    open_file& operator=(open_file const&) = delete;
};

namespace {

std::string system_error(std::string const& what, std::string const& path)
{
    return "--input-file: cannot " + what + " '" + path + "': " + std::strerror(errno);
}

// Reads the file's first bytes into [into, into + length), however many reads that takes.
void read_exactly(int fd, std::string const& path, char* into, std::uint64_t length)
{
    std::uint64_t done = 0;
    while (done < length) {
        ssize_t const got = pread(fd, into + done, length - done, static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw input_file_error(system_error("read", path));
        }
        if (got == 0) {
            throw input_file_error("--input-file: '" + path + "' ended after " + std::to_string(done) + " of the " +
                                   std::to_string(length) + " bytes to sort: another process shortened it");
        }
        done += static_cast<std::uint64_t>(got);
    }
}

}  // namespace

input_source input_source::pattern(std::string const& name)
{
    input_source source;
    source.name_ = name;
    return source;
}

input_source input_source::file(std::string const& path, std::size_t item_size)
{
    auto file = std::make_shared<open_file>();
    file->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file->fd < 0) throw input_file_error(system_error("open", path));
    struct stat status {};
    if (fstat(file->fd, &status) != 0) throw input_file_error(system_error("examine", path));
    file->items = static_cast<std::uint64_t>(status.st_size) / item_size;

    input_source source;
    source.name_ = path;
    source.file_ = std::move(file);
    return source;
}

std::uint64_t input_source::available() const
{
    return is_file() ? file_->items : std::numeric_limits<std::uint64_t>::max();
}

void input_source::read(char* into, std::uint64_t bytes) const { read_exactly(file_->fd, name_, into, bytes); }

template <class T>
void input_source::fill(T* first, T* last, std::uint64_t seed) const
{
    if (is_file()) {
        read(reinterpret_cast<char*>(first), static_cast<std::uint64_t>(last - first) * sizeof(T));
    } else {
        // srand48 takes the low 32 bits of its argument.
        srand48(static_cast<long>(seed));
        gen::fill_input(name_, first, last);
    }
    if constexpr (std::is_same<T, element>::value) {
        std::uintptr_t index = 0;
        for (element* e = first; e != last; ++e) e->payload = reinterpret_cast<void*>(index++);
    }
}

template void input_source::fill(element*, element*, std::uint64_t) const;
template void input_source::fill(int*, int*, std::uint64_t) const;
template void input_source::fill(record*, record*, std::uint64_t) const;

#include "bench/report_output.hpp"

#include <cerrno>
#include <cstring>
#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Takes back the last `written` bytes of a regular file, which stand at its current offset
// (also when it is open for appending: the offset follows the data written). Pipes and terminals
// keep what they got.
void take_back(int fd, std::size_t written)
{
    struct stat status {};
    if (written == 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
    off_t const end = lseek(fd, 0, SEEK_CUR);
    if (end < 0 || static_cast<std::size_t>(end) < written) return;
    off_t const start = end - static_cast<off_t>(written);
    if (ftruncate(fd, start) == 0) lseek(fd, start, SEEK_SET);
}

}  // namespace

report_output_buffer::int_type report_output_buffer::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
}

std::streamsize report_output_buffer::xsputn(char const* text, std::streamsize count)
{
    pending_.append(text, static_cast<std::size_t>(count));
    return count;
}

int report_output_buffer::sync()
{
    // Once a write failed nothing more is written: a later line would follow a gap.
    if (failure_ != 0) {
        pending_.clear();
        return -1;
    }
    std::size_t written = 0;
    while (written < pending_.size()) {
        ssize_t const got = write(fd_, pending_.data() + written, pending_.size() - written);
        if (got > 0) {
            written += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            // A write that takes nothing without an error (a full device may do this) still fails.
            failure_ = got < 0 ? errno : ENOSPC;
            take_back(fd_, written);
            pending_.clear();
            return -1;
        }
    }
    pending_.clear();
    return 0;
}

std::string report_failure_reason(std::ostream const& out)
{
    auto const* const buffer = dynamic_cast<report_output_buffer const*>(out.rdbuf());
    if (buffer == nullptr || buffer->failure() == 0) return "";
    return std::strerror(buffer->failure());
}

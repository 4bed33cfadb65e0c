#include "gen/output_file.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "auto_array/map_file.hpp"

namespace gen {

namespace {

using auto_array::mapping_error;
using auto_array::detail::error_text;

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr mode_t new_file_permissions = 0666;
// Items go into an existing file in pieces of about this many bytes, so that an interruption
// finds the count of items copied at most one piece behind.
constexpr unsigned long copy_piece_bytes = 1ul << 20;

static_assert(std::atomic<off_t>::is_always_lock_free && std::atomic<std::uint64_t>::is_always_lock_free,
              "the signal handler reads the run state without locks");

output_file::run_state* current_run = nullptr;

void write_text(char const* text) { static_cast<void>(!write(STDERR_FILENO, text, std::strlen(text))); }

// Undoes the unfinished run as the destructor would, with async-signal-safe calls only, and
// ends the process.
extern "C" void stop_run(int)
{
    output_file::run_state& run = *current_run;
    if (char const* const scratch = run.scratch) {
        unlink(scratch);
    }
    if (off_t const length = run.restore_length; length >= 0) {
        static_cast<void>(!ftruncate(run.target, length));
    }
    if (run.target >= 0) {
        char count[24];
        *std::to_chars(count, count + sizeof count - 1, static_cast<std::uint64_t>(run.copied)).ptr = '\0';
        write_text("datlow interrupted: ");
        write_text(count);
        write_text(" items written to '");
    } else {
        write_text("datlow interrupted: nothing written to '");
    }
    write_text(run.name);
    write_text("'\n");
    _exit(EXIT_FAILURE);
}

sigset_t stop_set()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : stop_signals) sigaddset(&stops, s);
    return stops;
}

// The actions the stop signals and SIGXFSZ had before the run took them over.
struct sigaction previous_actions[std::size(stop_signals)];
struct sigaction previous_file_size_action;

// Takes the stop signals over, leaving alone those the process was started to ignore (a
// background job of a shell ignores SIGINT, so that the terminal's interrupt is not for it).
// Past the file size limit the default action of SIGXFSZ would kill the process with the file
// half made; ignored, the limit shows up as an error of the call instead.
void take_signals()
{
    struct sigaction action {};
    action.sa_handler = stop_run;
    action.sa_mask = stop_set();
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) {
        sigaction(stop_signals[i], nullptr, &previous_actions[i]);
        if (previous_actions[i].sa_handler != SIG_IGN) sigaction(stop_signals[i], &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous_file_size_action);
}

void give_back_signals()
{
    for (std::size_t i = 0; i < std::size(stop_signals); ++i) sigaction(stop_signals[i], &previous_actions[i], nullptr);
    sigaction(SIGXFSZ, &previous_file_size_action, nullptr);
}

// Holds the stop signals for its lifetime, so that a step and the record of it happen together.
class signals_held {
public:
    signals_held()
    {
        sigset_t const stops = stop_set();
        sigprocmask(SIG_BLOCK, &stops, &previous);
    }
    ~signals_held() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
    signals_held(signals_held const&) = delete;
    signals_held& operator=(signals_held const&) = delete;

private:
    sigset_t previous;
};

bool same_file(struct stat const& a, struct stat const& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Takes the exclusive lock on fd, waiting while another process holds it.
void lock(int fd, char const* name)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return;
    if (errno != EWOULDBLOCK) throw mapping_error(error_text(errno));
    std::cerr << "datlow: waiting for another process writing '" << name << "'" << std::endl;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) throw mapping_error(error_text(errno));
    }
}

// Opens the regular file name for writing and locks it; -1 if it does not exist. The lock is
// only taken on the file that still bears the name once it is held: a writer that renamed a
// new file over it meanwhile has left the old one to nobody.
int open_locked(char const* name, off_t& length)
{
    for (;;) {
        // Non-blocking, so that a FIFO's open does not wait for a reader.
        int const fd = open(name, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            int const error = errno;
            // A symbolic link to a missing file is a name that exists but cannot be opened: it
            // would make the rename of a complete scratch file refuse, again and again.
            struct stat link;
            if (error == ENOENT && lstat(name, &link) == 0) throw mapping_error("a symbolic link to a missing file");
            if (error == ENOENT) return -1;
            throw mapping_error(error_text(error));
        }
        struct stat opened;
        if (fstat(fd, &opened) != 0) {
            int const error = errno;
            close(fd);
            throw mapping_error(error_text(error));
        }
        if (!S_ISREG(opened.st_mode)) {
            close(fd);
            throw mapping_error("not a regular file");
        }
        try {
            lock(fd, name);
        } catch (...) {
            close(fd);
            throw;
        }
        struct stat named;
        if (stat(name, &named) == 0 && fstat(fd, &opened) == 0 && same_file(named, opened)) {
            length = opened.st_size;
            return fd;
        }
        close(fd);
    }
}

}  // namespace

output_file::output_file(char const* name, unsigned long item_size) : name(name), item_size(item_size)
{
    state.name = this->name.c_str();
    current_run = &state;
    take_signals();
    try {
        target = open_locked(name, original_length);
    } catch (...) {
        give_back_signals();
        current_run = nullptr;
        throw;
    }
    state.target = target;
}

output_file::~output_file()
{
    signals_held const held;
    if (scratch >= 0) {
        unlink(scratch_name.c_str());
        close(scratch);
        state.scratch = nullptr;
    }
    if (off_t const length = state.restore_length; length >= 0) {
        if (ftruncate(target, length) != 0) {
            std::cerr << "Could not restore the length of file '" << name << "'" << std::endl;
        }
        state.restore_length = -1;
    }
    if (target >= 0) close(target);
    give_back_signals();
    current_run = nullptr;
}

int output_file::prepare(unsigned long count)
{
    off_t const needed = static_cast<off_t>(count * item_size);
    if (exists() && needed > original_length) {
        state.restore_length = original_length;
        if (int const error = posix_fallocate(target, 0, needed); error != 0) {
            throw mapping_error(error_text(error));
        }
    }

    signals_held const held;
    scratch_name = name + ".datlow-XXXXXX";
    scratch = mkstemp(scratch_name.data());
    if (scratch < 0) {
        throw mapping_error(error_text(errno));
    }
    state.scratch = scratch_name.c_str();
    if (!exists()) {
        // mkstemp makes the file private; a new file gets the permissions any new file would.
        mode_t const mask = umask(0);
        umask(mask);
        fchmod(scratch, new_file_permissions & ~mask);
    }
    return scratch;
}

void output_file::commit(void const* items, unsigned long count)
{
    if (exists()) {
        copy_over(items, count);
    } else {
        rename_into_place();
    }
    sigset_t const stops = stop_set();
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    state.restore_length = -1;
}

void output_file::copy_over(void const* items, unsigned long count)
{
    unsigned long const piece = std::max(copy_piece_bytes / item_size, 1ul) * item_size;
    unsigned long const total = count * item_size;
    char const* const bytes = static_cast<char const*>(items);
    unsigned long done = 0;
    while (done < total) {
        ssize_t const written = pwrite(target, bytes + done, std::min(piece, total - done), static_cast<off_t>(done));
        if (written < 0) {
            if (errno == EINTR) continue;
            throw mapping_error(error_text(errno) + " (" + std::to_string(done / item_size) + " items written)");
        }
        done += static_cast<unsigned long>(written);
        state.copied = done / item_size;
    }
}

void output_file::rename_into_place()
{
    for (;;) {
        {
            signals_held const held;
            int const moved = renameat2(AT_FDCWD, scratch_name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
            // A file system without renames that refuse to replace gets a plain rename.
            if (moved == 0 || (errno == EINVAL && std::rename(scratch_name.c_str(), name.c_str()) == 0)) {
                scratch_renamed();
                return;
            }
            if (errno != EEXIST) throw mapping_error(error_text(errno));
        }
        // Another run made the file meanwhile: wait until it is done with it, then replace it.
        off_t length = 0;
        int const other = open_locked(name.c_str(), length);
        if (other < 0) continue;
        signals_held const held;
        int const moved = std::rename(scratch_name.c_str(), name.c_str());
        int const error = errno;
        close(other);
        if (moved != 0) throw mapping_error(error_text(error));
        scratch_renamed();
        return;
    }
}

void output_file::scratch_renamed()
{
    state.scratch = nullptr;
    close(scratch);
    scratch = -1;
}

}  // namespace gen

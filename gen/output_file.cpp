#include "gen/output_file.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
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

// The folder of the file name: the scratch file is made there, on the same file system, so that a
// new file can be linked into place.
std::string folder_of(std::string const& name)
{
    std::size_t const slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : name.substr(0, slash);
}

// Whether open's error says that the file system (or the kernel) makes no unnamed files.
bool no_unnamed_files(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

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
// only taken on the file that still bears the name once it is held: a file that another program
// moved over it meanwhile has left the old one to nobody.
int open_locked(char const* name, off_t& length)
{
    for (;;) {
        // Non-blocking, so that a FIFO's open does not wait for a reader.
        int const fd = open(name, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            int const error = errno;
            // A symbolic link to a missing file is a name that exists but cannot be opened: it
            // would make the link of a complete scratch file fail at the end of the run.
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
        if (!scratch_name.empty()) unlink(scratch_name.c_str());
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

int output_file::prepare()
{
    std::string const folder = folder_of(name);
    signals_held const held;
    scratch = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, new_file_permissions);
    if (scratch < 0 && no_unnamed_files(errno)) {
        scratch_name = folder + "/.datlow-XXXXXX";
        scratch = mkostemp(scratch_name.data(), O_CLOEXEC);
        if (scratch >= 0 && exists()) {
            // The items are copied from the descriptor: the name is not needed any more.
            unlink(scratch_name.c_str());
            scratch_name.clear();
        } else if (scratch >= 0) {
            state.scratch = scratch_name.c_str();
            // mkostemp makes the file private; a new file gets the permissions any new file would.
            mode_t const mask = umask(0);
            umask(mask);
            fchmod(scratch, new_file_permissions & ~mask);
        }
    }
    if (scratch < 0) {
        int const error = errno;
        scratch_name.clear();
        throw mapping_error("cannot make a scratch file in the folder '" + folder + "': " + error_text(error));
    }
    return scratch;
}

void output_file::commit(void const* items, unsigned long count)
{
    if (exists()) {
        copy_over(items, count);
    } else {
        link_into_place();
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
    // Written front to back, the file grows only once its old length is covered.
    if (total > static_cast<unsigned long>(original_length)) state.restore_length = original_length;
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

void output_file::link_into_place()
{
    signals_held const held;
    int linked = 0;
    if (scratch_name.empty()) {
        // An unnamed file is given a name through its descriptor's entry under /proc.
        std::string const self = "/proc/self/fd/" + std::to_string(scratch);
        linked = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
    } else {
        // A link, unlike a rename, never replaces a file that another run made meanwhile; a file
        // system without links gets a rename that refuses to replace.
        linked = link(scratch_name.c_str(), name.c_str());
        if (linked != 0 && errno == EPERM) {
            linked = renameat2(AT_FDCWD, scratch_name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
        }
    }
    if (linked != 0) {
        int const error = errno;
        if (error == EEXIST) throw mapping_error("another run made the file meanwhile; it is left as it is");
        throw mapping_error(error_text(error));
    }
    if (!scratch_name.empty()) {
        unlink(scratch_name.c_str());
        scratch_name.clear();
        state.scratch = nullptr;
    }
    close(scratch);
    scratch = -1;
}

}  // namespace gen
